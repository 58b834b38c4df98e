// The door memorization's lifecycle: secret order, seating, late entry and leave, procedure slots.
#include "server/profiler/profiler.h"
#include "server/screens/doors/doors_state.h"
#include "server/screens/screen/screen_kinds.h"
#include "server/screens/screen/seats.h"

#include <algorithm>
#include <utility>

namespace cog {

namespace doors {

namespace {
Profiler* profiler_of(const DoorsState& state) { return state.global ? state.global->profiler : nullptr; }

// Odd seat numbers take the upper row, even ones the lower.
int64_t row_of(uint32_t number) { return number % 2 == 1 ? 0 : 1; }

DoorsPlayer make_queued_player(const DoorsState& state, uint32_t id, bool is_bot) {
    const uint32_t number = state.figure_number(id);
    DoorsPlayer player;
    player.color = player_color(number);
    player.row = row_of(number);
    player.is_bot = is_bot;
    return player;
}

// The first robot of a row needs no turn: it stands at cell 0 from the start and shows the order.
DoorsPlayer make_lead_robot(const DoorsState& state, uint32_t id) {
    DoorsPlayer player = make_queued_player(state, id, true);
    player.stage = 0;
    player.is_active = true;
    player.start_delay = ROBOT_START_DELAY;
    return player;
}

void queue_player(DoorsState& state, uint32_t id, bool is_bot) {
    DoorsPlayer player = make_queued_player(state, id, is_bot);
    state.row_queues[static_cast<size_t>(player.row)].push_back(id);
    state.players[id] = player;
}

// One robot of the row leads and shows the order; everyone else, robot or human, queues in seat
// order. Queueing the robots before the humans would let anyone who counts the workers walking in
// tell the humans by their turn. The lead is the robot with the lowest id, which has nothing to do
// with the seats: had it been the first robot in seat order, the players seated before it would
// be queued first, and those are humans more often than not.
void seat_row(DoorsState& state, const std::vector<uint32_t>& row) {
    auto lead = row.end();
    for (auto it = row.begin(); it != row.end(); ++it)
        if (find_player(*state.global, *it)->is_bot && (lead == row.end() || *it < *lead)) lead = it;
    if (lead != row.end()) state.players[*lead] = make_lead_robot(state, *lead);
    for (auto it = row.begin(); it != row.end(); ++it)
        if (it != lead) queue_player(state, *it, find_player(*state.global, *it)->is_bot);
}

void seat_everyone(DoorsState& state) {
    std::array<std::vector<uint32_t>, ROW_COUNT> rows;
    for (uint32_t id : ids_in_seat_order(*state.global, state.global->players)) {
        const PlayerConnection& connection = state.global->players.at(id);
        if (!connection.connected || is_overseer(state, id)) continue;
        rows[static_cast<size_t>(row_of(state.figure_number(id)))].push_back(id);
    }
    for (const auto& row : rows) seat_row(state, row);
}
} // namespace

DoorsState::DoorsState() : MinigameScreen(RULES) {}
DoorsState::~DoorsState() { doors_destroy(*this); }

void DoorsState::init(GlobalState& g) { doors_init(*this, g); }
void DoorsState::on_player_enter(uint32_t id) { doors_on_player_enter(*this, id); }
void DoorsState::on_player_leave(uint32_t id) { doors_on_player_leave(*this, id); }
void DoorsState::handle_input(uint32_t id, const InputState& input) { doors_handle_input(*this, id, input); }
ScreenTransition DoorsState::update(float dt) { return doors_update(*this, dt); }
void DoorsState::render(uint32_t viewer_id, DrawList& out) { doors_render(*this, viewer_id, out); }

void choose_sequence(DoorsState& state, Random& random) {
    state.sequence = {0, 1, 2};
    std::swap(state.sequence[2], state.sequence[static_cast<size_t>(random.pick(3))]);
    std::swap(state.sequence[1], state.sequence[static_cast<size_t>(random.pick(2))]);
}

// The sequence and the shot's record keep their values; everything else starts over, including
// the guard that lets a shot's end fire only once, so that a re-initialised screen can end again.
void doors_init(DoorsState& state, GlobalState& global) {
    state.global = &global;
    ProfileZone zone(profiler_of(state), "doors_init");
    state.phase = INTRO;
    state.phase_timer = 0;
    state.total_time = 0;
    state.watching_warning = false;
    state.game_over_done = false;
    state.shot_resolved = false;
    state.idle_time = 0;
    state.cop_intro_timer = RULES.briefing.duration;
    state.cop_intro_stage = 0;
    state.intro_timer = RULES.intro_duration;
    state.players.clear();
    state.mouse_was_down.clear();
    for (auto& queue : state.row_queues) queue.clear();
    seat_everyone(state);
}

void doors_destroy(DoorsState& state) {
    ProfileZone zone(profiler_of(state), "doors_destroy");
    state.players.clear();
    state.mouse_was_down.clear();
    for (auto& queue : state.row_queues) queue.clear();
}

void doors_on_player_enter(DoorsState& state, uint32_t id) {
    ProfileZone zone(profiler_of(state), "doors_on_player_enter");
    if (is_overseer(state, id) || state.players.contains(id)) return;
    seat_newcomer(*state.global, id);
    // A player who left keeps his old place in the queue; queueing him twice would let the second
    // entry pull him back to cell 0 later.
    DoorsPlayer player = make_queued_player(state, id, false);
    std::vector<uint32_t>& queue = state.row_queues[static_cast<size_t>(player.row)];
    if (std::find(queue.begin(), queue.end(), id) == queue.end()) queue.push_back(id);
    state.players[id] = player;
}

void doors_on_player_leave(DoorsState& state, uint32_t id) {
    ProfileZone zone(profiler_of(state), "doors_on_player_leave");
    state.players.erase(id);
    state.mouse_was_down.erase(id);
}

bool is_dead_player(const DoorsState& state, uint32_t id) {
    const PlayerConnection* connection = find_player(*state.global, id);
    return connection && connection->is_dead;
}

bool is_overseer(const DoorsState& state, uint32_t id) { return is_cop(*state.global, id); }

bool is_drawn_figure(const DoorsState& state, uint32_t id, const DoorsPlayer& player) {
    return player.stage >= 0 && !is_overseer(state, id) && !is_dead_player(state, id);
}

} // namespace doors

std::unique_ptr<ScreenProcs> create_doors(Random& random) {
    auto state = std::make_unique<doors::DoorsState>();
    doors::choose_sequence(*state, random);
    return state;
}

} // namespace cog

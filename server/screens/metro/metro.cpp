// The metro commute: creation, the ride's start on init and mount, players coming and going,
// and the per-frame step.
#include "server/profiler/profiler.h"
#include "server/screens/metro/metro_lean.h"
#include "server/screens/metro/metro_seating.h"
#include "server/screens/metro/metro_timeline.h"
#include "server/screens/minigame/briefing.h"
#include "server/screens/minigame/shooting.h"
#include "server/screens/screen/screen_kinds.h"
#include "server/screens/screen/seats.h"

namespace cog::metro {

namespace {
void start_ride(MetroState& state) {
    state.event_count = draw_timeline(state.timeline, minigame_random(state));
    state.timeline_length = RIDE_LENGTH;
    state.ride_time = 0;
    state.ride_remaining = RIDE_LENGTH;
    state.event_started_at = 0;
    state.seen_event.reset();
}

void start_music(MetroState& state) {
    if (state.music_started) return;
    state.music_started = true;
    if (state.global->play_sound) state.global->play_sound(SoundId::MUSIC_METRO, MUSIC_VOLUME);
}

// The ride clock moves on; true when the whole timeline has been ridden.
bool ride_over(MetroState& state, float dt) {
    state.ride_time += dt;
    state.ride_remaining -= dt;
    return state.ride_remaining <= 0;
}

ScreenTransition advance_ride_phase(MetroState& state, float dt) {
    if (state.phase_timer > 0) state.phase_timer -= dt;
    if (state.phase_timer > 0) return ScreenTransition::none();
    if (state.phase == GAMEPLAY_HIDDEN) {
        state.phase = GAMEPLAY_VISIBLE;
        state.phase_timer = VISIBLE_TIME;
        return ScreenTransition::none();
    }
    if (state.shot_fired) return ScreenTransition::none();
    return ScreenTransition::push(ScreenId::GAME_SELECT);
}

// The update that ends the practice goes straight on into the hidden phase, whose clock counts
// that update already.
ScreenTransition advance_phase(MetroState& state, float dt) {
    if (state.phase == INTRO && state.intro_timer <= 0) {
        state.phase = GAMEPLAY_HIDDEN;
        state.phase_timer = HIDDEN_TIME;
    }
    switch (state.phase) {
    case INTRO: return ScreenTransition::none();
    case SHOOTING: return update_shooting(state, dt);
    default: return advance_ride_phase(state, dt);
    }
}

Profiler* profiler_of(const MetroState& state) { return state.global ? state.global->profiler : nullptr; }

void metro_init(MetroState& state, GlobalState& global) {
    ProfileZone zone(global.profiler, "metro_init");
    state.global = &global;
    // The shot fields are reset too: a remounted ride must be able to end on its own again.
    reset_minigame(state);
    state.shot_fired = false;
    state.passengers.clear();
    state.held_keys.clear();
    state.music_started = false;
    start_ride(state);
    start_music(state);
    seat_passengers(state);
}

void metro_destroy(MetroState& state) {
    ProfileZone zone(profiler_of(state), "metro_destroy");
    state.passengers.clear();
    state.held_keys.clear();
    state.mouse_was_down.clear();
}

void metro_on_player_enter(MetroState& state, uint32_t id) {
    ProfileZone zone(profiler_of(state), "metro_on_player_enter");
    if (is_cop(*state.global, id)) {
        state.mouse_was_down[id] = false;
        return;
    }
    seat_late_player(state, id);
}

void metro_on_player_leave(MetroState& state, uint32_t id) {
    ProfileZone zone(profiler_of(state), "metro_on_player_leave");
    leave_minigame(state, id);
    state.passengers.erase(id);
    state.held_keys.erase(id);
}

ScreenTransition metro_update(MetroState& state, float dt) {
    ProfileZone zone(state.global->profiler, "metro_update");
    state.total_time += dt;
    note_event_change(state);
    lean_passengers(state, dt);
    if (ride_over(state, dt)) return ScreenTransition::push(ScreenId::GAME_SELECT);
    advance_briefing(state, dt);
    if (state.intro_timer > 0) state.intro_timer -= dt;
    return advance_phase(state, dt);
}

} // namespace

MetroState::MetroState() : MinigameScreen(RULES) {}

void MetroState::init(GlobalState& g) { metro_init(*this, g); }
// Every mount starts the ride afresh: new timeline, new passengers, the music asked for again.
void MetroState::mount() { metro_init(*this, *global); }
MetroState::~MetroState() { metro_destroy(*this); }
void MetroState::on_player_enter(uint32_t id) { metro_on_player_enter(*this, id); }
void MetroState::on_player_leave(uint32_t id) { metro_on_player_leave(*this, id); }
void MetroState::handle_input(uint32_t id, const InputState& input) { metro_handle_input(*this, id, input); }
ScreenTransition MetroState::update(float dt) { return metro_update(*this, dt); }
void MetroState::render(uint32_t viewer_id, DrawList& out) { metro_render(*this, viewer_id, out); }

uint32_t MetroState::figure_number(uint32_t id) const {
    auto riding = passengers.find(id);
    return riding != passengers.end() ? riding->second.number : shown_number(*global, id);
}

std::vector<uint32_t> ids_by_slot(const MetroState& state) {
    std::vector<uint32_t> ids;
    ids.reserve(state.passengers.size());
    for (const auto& entry : state.passengers) ids.push_back(entry.first);
    std::stable_sort(ids.begin(), ids.end(), [&](uint32_t a, uint32_t b) {
        return state.passengers.at(a).slot_index < state.passengers.at(b).slot_index;
    });
    return ids;
}

} // namespace cog::metro

namespace cog {

std::unique_ptr<ScreenProcs> create_metro() { return std::make_unique<metro::MetroState>(); }

} // namespace cog

// Lifecycle of the shared minigame state: reset, entry and leave, the clocks every update runs.
#include "server/screens/minigame/minigame_state.h"

#include "server/screens/minigame/briefing.h"
#include "server/screens/minigame/minigame_input.h"
#include "server/screens/screen/seats.h"

namespace cog {

const char* phase_name(const MinigameRules& rules, int64_t phase) {
    if (phase < 0 || static_cast<size_t>(phase) >= rules.phase_names.size()) return "UNKNOWN";
    return rules.phase_names[static_cast<size_t>(phase)];
}

MinigameScreen::MinigameScreen(const MinigameRules& r) : rules(&r) { reset_minigame(*this); }

uint32_t MinigameScreen::figure_number(uint32_t id) const { return shown_number(*global, id); }

void MinigameScreen::on_player_enter(uint32_t id) { enter_minigame_player(*this, id); }
void MinigameScreen::on_player_leave(uint32_t id) { leave_minigame(*this, id); }
void MinigameScreen::handle_input(uint32_t id, const InputState& input) { handle_minigame_input(*this, id, input); }

void reset_minigame(MinigameScreen& state) {
    state.players.clear();
    state.mouse_was_down.clear();
    state.phase = state.rules->intro_phase;
    state.phase_timer = 0;
    state.total_time = 0;
    state.cop_intro_timer = state.rules->briefing.duration;
    state.cop_intro_stage = 0;
    state.intro_timer = state.rules->intro_duration;
    state.shot_stage = ShootingPhase::FADING;
    state.shot_timer = 0;
    state.shot_player_id = 0;
    state.shot_was_bot = false;
    state.shot_resolved = false;
}

Random& minigame_random(const MinigameScreen& state) { return *state.global->random; }

void enter_minigame_player(MinigameScreen& state, uint32_t id) {
    seat_newcomer(*state.global, id);
    state.players[id] = make_minigame_player(state.figure_number(id), minigame_random(state));
}

void leave_minigame(MinigameScreen& state, uint32_t id) {
    state.players.erase(id);
    state.mouse_was_down.erase(id);
}

void advance_minigame_clocks(MinigameScreen& state, float dt) {
    state.total_time += dt;
    advance_briefing(state, dt);
    if (state.intro_timer > 0) state.intro_timer -= dt;
}

bool viewer_is_dead(const MinigameScreen& state, uint32_t id) {
    const PlayerConnection* player = state.global ? find_player(*state.global, id) : nullptr;
    return player && player->is_dead;
}

} // namespace cog

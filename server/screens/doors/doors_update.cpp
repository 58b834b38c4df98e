// The per-frame step: clocks, phases, the judgement and the end of the game-over picture.
#include "server/profiler/profiler.h"
#include "server/screens/doors/doors_state.h"
#include "server/screens/minigame/briefing.h"
#include "server/screens/minigame/shooting.h"

namespace cog::doors {

namespace {
void start_game(DoorsState& state) {
    state.phase = GAME_START;
    state.phase_timer = GAME_START_TIME;
    state.watching_warning = false;
}

// The first robots work at double rate so that the humans see a whole demonstration in time.
void update_game_start(DoorsState& state, float dt) {
    update_bots(state, dt);
    update_players(state, dt);
    if (!state.watching_warning && state.phase_timer <= WATCHING_WARNING_AT) state.watching_warning = true;
    if (state.phase_timer <= 0) {
        state.phase = ACTIVE;
        state.phase_timer = -1; // no time limit
    }
}

bool anyone_walking(const DoorsState& state) {
    for (const auto& [id, player] : state.players) {
        if (player.is_walking && !is_dead_player(state, id)) return true;
    }
    return false;
}

// ACTIVE has no time limit, so one idle worker at a door would block everybody behind him, and the
// whole game, for ever. When nothing has moved the game on for STALL_TIME (a right press restarts
// the count, a walk holds it at zero) the judgement begins with whoever is through. Wrong presses
// do not count: pressing any button now and then must not keep the Overseer from shooting.
void watch_for_stall(DoorsState& state, float dt) {
    state.idle_time = anyone_walking(state) ? 0 : state.idle_time + dt;
    if (state.idle_time >= STALL_TIME) start_judgement(state);
}

// The judgement clock falls twice per update: the nominal 15 s last 7.5 s.
void update_judgement(DoorsState& state, float dt) {
    if (state.phase_timer > 0) {
        state.phase_timer -= dt;
        return;
    }
    state.phase = GAME_OVER;
    state.phase_timer = GAME_OVER_TIME;
}

// Without a shot the game-over picture hands over to a new game select, as a shot would.
ScreenTransition update_game_over(DoorsState& state) {
    if (state.phase_timer > 0 || state.game_over_done) return ScreenTransition::none();
    state.game_over_done = true;
    return ScreenTransition::push(ScreenId::GAME_SELECT);
}

ScreenTransition update_stage(DoorsState& state, float dt) {
    if (state.phase_timer > 0) state.phase_timer -= dt;
    switch (state.phase) {
    case GAME_START: update_game_start(state, dt); break;
    case ACTIVE:
        update_players(state, dt);
        if (state.phase == ACTIVE) watch_for_stall(state, dt);
        if (state.phase == JUDGEMENT) update_judgement(state, dt);
        break;
    case JUDGEMENT: update_judgement(state, dt); break;
    case GAME_OVER: return update_game_over(state);
    default: break;
    }
    return ScreenTransition::none();
}
} // namespace

ScreenTransition doors_update(DoorsState& state, float dt) {
    ProfileZone zone(state.global->profiler, "doors_update");
    state.total_time += dt;
    advance_briefing(state, dt);
    if (state.intro_timer > 0) state.intro_timer -= dt;
    if (state.phase == INTRO && state.intro_timer <= 0) start_game(state);
    if (state.phase == SHOOTING) return update_shooting(state, dt);
    return update_stage(state, dt);
}

bool all_players_finished(const DoorsState& state) {
    for (const auto& [id, player] : state.players) {
        if (is_dead_player(state, id) || is_overseer(state, id)) continue;
        if (player.stage < FINISHED || player.is_walking) return false;
    }
    return true;
}

} // namespace cog::doors

// The frame step and the picture both typing minigames share. The parts that differ per minigame are
// found by overload on the state type: start_first_stage, bots_type, end_phase and
// render_top_section.
#pragma once

#include "server/screens/minigame/hands.h"
#include "server/screens/minigame/minigame_view.h"
#include "server/screens/minigame/shooting.h"

#include <string_view>

namespace cog {

template <class State>
ScreenTransition update_typing_minigame(State& state, float dt) {
    advance_minigame_clocks(state, dt);
    if (state.phase == state.rules->intro_phase) {
        if (state.intro_timer > 0) return ScreenTransition::none();
        start_first_stage(state);
    }
    if (state.phase == state.rules->shooting_phase) return update_shooting(state, dt);
    bots_type(state, dt);
    state.phase_timer -= dt;
    if (state.phase_timer <= 0) {
        ScreenTransition transition = end_phase(state);
        if (transition.kind != TransitionKind::NONE) return transition;
    }
    settle_hands(state.players, dt);
    return ScreenTransition::none();
}

// Text boxes compare with `compared`.
template <class State>
void render_typing_minigame(const State& state, uint32_t viewer_id, DrawList& out, std::string_view compared) {
    if (render_intro_cards(state, viewer_id, out)) return;
    render_game_background(out);
    render_top_section(state, out);
    render_game_view(state, viewer_id, out, compared);
}

} // namespace cog

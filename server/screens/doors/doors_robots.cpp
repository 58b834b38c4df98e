// The robots: a wait at cell 0, a sweep past the bottom button, a drawn reaction, a right press.
#include "server/screens/doors/doors_state.h"

namespace cog::doors {

namespace {
constexpr float REACTION_MIN = 0.05f;   // s
constexpr float REACTION_RANGE = 0.25f; // s above the minimum

bool robot_may_act(const DoorsState& state, uint32_t id, const DoorsPlayer& p) {
    return p.is_bot && p.is_active && p.stage >= 0 && p.stage < CELL_COUNT && !p.is_walking && !p.is_correct &&
           !p.has_pressed && !p.is_animating && !is_dead_player(state, id);
}

void robot_press(DoorsState& state, DoorsPlayer& p, int64_t button) {
    show_press(p, button);
    press_right_button(state, p);
    p.reaction_timer = 0;
}

void step_robot(DoorsState& state, DoorsPlayer& p, float dt) {
    if (p.stage == 0 && p.start_delay > 0) {
        p.start_delay -= dt;
        return;
    }
    sweep_hand(p, dt, ROBOT_HAND_TURN);
    int64_t button = button_under_hand(p.hand_pos);
    if (button != state.sequence[static_cast<size_t>(p.stage)]) {
        p.reaction_timer = 0; // drawn again at the next alignment
        return;
    }
    if (p.reaction_timer == 0) p.reaction_timer = REACTION_MIN + REACTION_RANGE * minigame_random(state).uniform();
    p.reaction_timer -= dt;
    if (p.reaction_timer <= 0) robot_press(state, p, button);
}
} // namespace

void update_bots(DoorsState& state, float dt) {
    for (auto& [id, player] : state.players) {
        if (robot_may_act(state, id, player)) step_robot(state, player, dt);
    }
}

} // namespace cog::doors

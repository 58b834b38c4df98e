// A worker's pointing hand: its sweep over the three buttons and the press it shows.
#include "server/screens/doors/doors_state.h"

namespace cog::doors {

void sweep_hand(DoorsPlayer& p, float dt, float turn_at) {
    p.hand_pos += p.hand_dir * dt;
    if (p.hand_pos <= 0) {
        p.hand_pos = 0;
        p.hand_dir = 1;
    } else if (p.hand_pos >= turn_at) {
        p.hand_pos = turn_at;
        p.hand_dir = -1;
    }
}

void show_press(DoorsPlayer& p, int64_t button) {
    p.pressed_button = button;
    p.has_pressed = true;
    p.press_timer = PRESS_TIME;
    p.is_animating = true;
    p.anim_timer = PRESS_TIME;
}

void press_right_button(DoorsState& state, DoorsPlayer& p) {
    // Only the press that readies the worker moves the game on; a repeat changes nothing.
    if (!p.is_correct) state.idle_time = 0;
    p.is_correct = true;
}

} // namespace cog::doors

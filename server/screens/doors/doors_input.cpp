// Input: the workers' SPACE presses and the Overseer's click during the judgement.
#include "server/profiler/profiler.h"
#include "server/screens/doors/doors_state.h"
#include "server/screens/minigame/shooting.h"

namespace cog::doors {

namespace {
void click_to_shoot(DoorsState& state, const InputState& input) {
    uint32_t target = figure_at_point(state, input.mouse_x, input.mouse_y);
    if (target == 0) return;
    // No gunshot sound here: the sound is the only one of the shared shot steps this minigame skips.
    start_shot(state, target, state.players.at(target).is_bot);
}

// SPACE is a level: held down, it presses again as soon as the shown press ends.
void press_button(DoorsState& state, DoorsPlayer& player) {
    int64_t button = button_under_hand(player.hand_pos);
    show_press(player, button);
    // A wrong press never clears an earlier right one.
    bool demanded = player.stage >= 0 && state.sequence[static_cast<size_t>(player.stage)] == button;
    if (demanded) press_right_button(state, player);
}

void handle_worker_input(DoorsState& state, uint32_t id, const InputState& input) {
    if (state.phase != ACTIVE || !input.space) return;
    auto it = state.players.find(id);
    if (it == state.players.end()) return;
    DoorsPlayer& player = it->second;
    if (player.has_pressed || player.stage >= FINISHED) return;
    press_button(state, player);
}
} // namespace

void doors_handle_input(DoorsState& state, uint32_t id, const InputState& input) {
    ProfileZone zone(state.global->profiler, "doors_handle_input");
    if (is_dead_player(state, id)) return;
    bool click = fresh_click(state, id, input.mouse_left);
    if (is_overseer(state, id)) {
        if (state.phase == JUDGEMENT && click) click_to_shoot(state, input);
        return;
    }
    handle_worker_input(state, id, input);
}

} // namespace cog::doors

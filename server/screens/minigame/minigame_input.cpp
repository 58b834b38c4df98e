// Input prelude and click-to-shoot dispatch shared by the minigames.
#include "server/screens/minigame/minigame_input.h"

#include "server/screens/minigame/shooting.h"
#include "shared/log/console.h"

namespace cog {

bool may_shoot(const MinigameScreen& state, bool sender_is_cop) {
    return sender_is_cop && state.cop_intro_stage == 3 && (state.rules->shoot_phases & phase_bit(state.phase)) != 0;
}

void handle_minigame_input(MinigameScreen& state, uint32_t id, const InputState& input) {
    const char* tag = state.rules->tag;
    console_printf("%s Input received from player %u, phase: %s\n", tag, id, phase_name(*state.rules, state.phase));
    if (viewer_is_dead(state, id)) {
        console_printf("%s Player %u is dead, ignoring input\n", tag, id);
        return;
    }
    bool sender_is_cop = is_cop(*state.global, id);
    console_printf("%s Player %u is_cop: %s\n", tag, id, sender_is_cop ? "true" : "false");
    if (may_shoot(state, sender_is_cop)) {
        handle_shoot_input(state, id, input);
        return;
    }
    state.mouse_was_down[id] = input.mouse_left;
    handle_typing_input(state, id, input, sender_is_cop);
}

} // namespace cog

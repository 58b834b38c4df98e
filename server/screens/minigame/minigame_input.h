// A player's input to a minigame: the checks every input passes, the Overseer's shot, typing.
#pragma once

#include "server/screens/minigame/minigame_state.h"

namespace cog {

void handle_minigame_input(MinigameScreen& state, uint32_t id, const InputState& input);

// The Overseer may shoot once the briefing is over, in the minigame's shooting phases.
bool may_shoot(const MinigameScreen& state, bool sender_is_cop);

// Backspace and letters into the player's text box, in a phase that accepts typing.
void handle_typing_input(MinigameScreen& state, uint32_t id, const InputState& input, bool sender_is_cop);

} // namespace cog

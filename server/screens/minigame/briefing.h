// The Overseer's timed briefing (stages and card) and the masked players' intro card.
#pragma once

#include "server/screens/minigame/minigame_state.h"

namespace cog {

// Runs the briefing clock one step and moves its stage on.
void advance_briefing(MinigameScreen& state, float dt);

// The Overseer sees only the briefing card until it is over.
bool briefing_card_showing(const MinigameScreen& state);

void render_intro_cop(const MinigameScreen& state, DrawList& out);
void render_intro_masked(const MinigameScreen& state, DrawList& out, uint32_t viewer_id);

// Alpha of a briefing line whose turn came `since` seconds ago: 0, then fading in over 0.5 s.
uint8_t briefing_line_alpha(float since);

} // namespace cog

// What each viewer of a minigame sees: briefing card, intro card, or the game view's parts.
#pragma once

#include "server/screens/minigame/minigame_state.h"

#include <string_view>

namespace cog {

// Draws the card that is the viewer's whole picture and returns true, or returns false when the
// viewer gets the game view.
bool render_intro_cards(const MinigameScreen& state, uint32_t viewer_id, DrawList& out);

// The Overseer's gun sight, centred on the pointer of its latest input ((0, 0) without a record).
void render_gun_sight(const GlobalState& global, uint32_t viewer_id, DrawList& out);

// The game view's full-screen background, drawn before the minigame's top section.
void render_game_background(DrawList& out);

// The game view after the top section: observer label, alerts, then the grid (or the shot) and
// the Overseer's flashlight and gun sight. Text boxes compare with `compared`.
void render_game_view(const MinigameScreen& state, uint32_t viewer_id, DrawList& out, std::string_view compared);

} // namespace cog

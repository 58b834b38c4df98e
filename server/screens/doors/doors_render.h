// The drawing steps of the door memorization picture.
#pragma once

#include "server/screens/doors/doors_state.h"

namespace cog::doors {

inline constexpr Color RED{255, 50, 50, 255};
inline constexpr Color ALERT_RED{255, 80, 80, 255};
inline constexpr Color GREEN{100, 255, 100, 255};
inline constexpr Color BLUE{100, 200, 255, 255};
inline constexpr Color GREY{200, 200, 200, 255};

void render_intro_masked(const DoorsState& state, DrawList& out);
void render_game_start(const DoorsState& state, uint32_t viewer_id, DrawList& out);
void render_active(const DoorsState& state, uint32_t viewer_id, bool viewer_is_cop, DrawList& out);
void render_judgement(const DoorsState& state, uint32_t viewer_id, bool viewer_is_cop, DrawList& out);
void render_game_over(const DoorsState& state, uint32_t viewer_id, DrawList& out);
void render_shooting(const DoorsState& state, uint32_t viewer_id, DrawList& out);

void render_cell_buttons(const DoorsState& state, DrawList& out);
// Every drawn figure with its label, body, mask, hand and status; prints each figure's line.
void render_players(const DoorsState& state, uint32_t viewer_id, DrawList& out);

// The mask a figure wears: MASK_1 + (mask mod 7); MASK_1 without a host record.
AssetId doors_mask(const DoorsState& state, uint32_t id);

} // namespace cog::doors

// The car and its riders: scrolling background, leaning passengers, the car in front, labels.
#pragma once

#include "server/screens/metro/metro_state.h"

namespace cog::metro {

// Three tiles moving left at 640 px/s, repeating every 2 s.
void render_scrolling_background(const MetroState& state, DrawList& out);
// One still tile, for the shot.
void render_still_background(DrawList& out);

// The car's frame, in front of the passengers.
void render_car(DrawList& out);

// The mask sprite of a passenger: its player's mask, MASK_1 for a filler.
AssetId passenger_mask(const MetroState& state, uint32_t id);

// Every living non-Overseer passenger, leaning by its tilt; then their labels.
void render_passengers(const MetroState& state, DrawList& out);
void render_passenger_labels(const MetroState& state, DrawList& out, uint32_t viewer_id);

} // namespace cog::metro

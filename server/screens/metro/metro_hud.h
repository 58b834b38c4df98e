// The texts over the ride: the Overseer's mode line, the masked players' prompt, clocks and the
// red frame of the visible phase.
#pragma once

#include "server/screens/metro/metro_state.h"

namespace cog::metro {

void render_observer_texts(DrawList& out);

// ">> PRESS RIGHT >>", "<< PRESS LEFT <<" or "|| DO NOTHING ||" for the event of the moment.
void render_balance_prompt(const MetroState& state, DrawList& out);

// "Time: %.1f / 60.0s" and "Ends in: %d".
void render_ride_clocks(const MetroState& state, DrawList& out);

// The red frame and "THE OVERSEER IS WATCHING", in GAMEPLAY_VISIBLE only.
void render_watched_frame(const MetroState& state, DrawList& out);

} // namespace cog::metro

// The Overseer's aim: which passenger a click lands on, the box turning with the passenger.
#pragma once

#include "server/screens/metro/metro_state.h"

#include <optional>

namespace cog::metro {

// A 120 x 240 box standing on the passenger's mask anchor, rotated by its tilt; edges included.
bool passenger_hit(const Passenger& passenger, float x, float y);

// The first visible passenger (table order; not the Overseer, not dead, id not 0) hit at (x, y).
std::optional<uint32_t> passenger_at(const MetroState& state, float x, float y);

} // namespace cog::metro

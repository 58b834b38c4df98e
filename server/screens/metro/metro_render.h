// The masked players' practice card: the swaying car with the keys to press.
#pragma once

#include "server/screens/metro/metro_state.h"

namespace cog::metro {

void render_intro_masked(const MetroState& state, DrawList& out, uint32_t viewer_id);

} // namespace cog::metro

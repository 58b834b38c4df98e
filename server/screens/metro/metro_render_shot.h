// The metro's shot picture: everyone stands upright, the shot passenger shows what it was.
#pragma once

#include "server/screens/metro/metro_state.h"

namespace cog::metro {

// Also prints the shot's console lines, on every call.
void render_shooting(const MetroState& state, DrawList& out);

} // namespace cog::metro

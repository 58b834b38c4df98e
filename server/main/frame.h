// The two per-frame procedures that belong to the loop itself: update the top screen, and send
// every connected human its picture.
#pragma once

#include "server/screens/screen/screen.h"

#include <cstdint>
#include <memory_resource>

namespace cog {

struct HostState;

// Calls the top screen's update and applies the transition it returns at once.
void update_state(HostState& host, float dt);

// The viewer's picture from the screen, in a new list on `arena`.
DrawList screen_render(Screen& screen, uint32_t viewer_id, std::pmr::memory_resource* arena);

// One DRAW_COMMANDS message per connected human; a failed send marks the connection broken.
void send_draw_commands(HostState& host);

} // namespace cog

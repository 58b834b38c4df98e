// The state Agones gives a room's GameServer (Ready, Allocated, Shutdown, ...), read from the
// sidecar's answer to GET /gameserver.
#pragma once

#include <string>
#include <string_view>

namespace cog {

// The value of "state" inside the answer's "status" object; empty when the answer has none.
// Agones writes the state first in the status, and the names it uses are plain words, so no
// escapes need undoing.
std::string gameserver_state(std::string_view answer);

} // namespace cog

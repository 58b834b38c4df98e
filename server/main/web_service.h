// The web endpoint's two moments in the frame: what browsers sent (and new WebSockets, which join
// the waiting logins like accepted sockets) before the accept phase, and what the frame sent them
// after the pictures and drops.
#pragma once

#include <cstdint>

namespace cog {

struct HostState;

// `now_ns`: the frame's start. A clock reading of its own would exist only where the endpoint is
// on, and a replay (which has none) would then meet every later reading one place early.
void receive_from_browsers(HostState& host, int64_t now_ns);
void send_to_browsers(HostState& host);

} // namespace cog

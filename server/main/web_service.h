// The web endpoint's two moments in the frame: what browsers sent (and new WebSockets, which join
// the waiting logins like accepted sockets) before the accept phase, and what the frame sent them
// after the pictures and drops.
#pragma once

namespace cog {

struct HostState;

void receive_from_browsers(HostState& host);
void send_to_browsers(HostState& host);

} // namespace cog

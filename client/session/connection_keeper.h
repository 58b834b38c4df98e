// Keeping the seat at the host across a frame: logging in, reconnecting without waiting, the
// INPUT of the frame (held back and merged while the host does not read), and the status banner.
#pragma once

#include "client/session/client_state.h"

namespace cog::client {

// Sends the LOGIN of a fresh connection, with the id of the last INIT for the old seat.
void log_in(ClientState& state, double now_s);

// After a lost connection: try again every second with the old id; a started attempt is checked
// each frame and never waited for.
void keep_connected(ClientState& state, double now_s);

// True when the host has said nothing for HOST_SILENT_S on an open connection.
bool host_is_silent(const ClientState& state, double now_s);

// Takes this frame's snapshot and sends it, unless the host is silent or has not taken the last
// bytes: then it is merged into the one held back, which goes out when the host reads again.
void send_input(ClientState& state, double now_s);

// The banner: a lost connection, a host that does not respond, or nothing. A change is logged.
void update_status(ClientState& state, double now_s);

} // namespace cog::client

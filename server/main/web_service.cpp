// Servicing the web endpoint without waiting, twice a frame.
#include "server/main/web_service.h"

#include "server/main/host_state.h"

namespace cog {

void receive_from_browsers(HostState& host, int64_t now_ns) {
    if (!host.web) return;
    host.web->service();
    admit_web_connections(host.connections, host.web->take_opened(), now_ns);
}

void send_to_browsers(HostState& host) {
    if (!host.web) return;
    // What the sockets took leaves now; the library's service, a poll of every socket, is only
    // needed for what is left (or to close), and otherwise waits for the next frame's reading.
    if (host.web->write_queued()) host.web->service();
}

} // namespace cog

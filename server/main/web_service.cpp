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
    host.web->write_queued();
    host.web->service();
}

} // namespace cog

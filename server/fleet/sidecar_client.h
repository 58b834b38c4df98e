// Calls to the fleet manager's sidecar over HTTP on the loopback interface, moved along a little
// every frame and never waited for: a slow or absent sidecar costs the game nothing.
#pragma once

#include "server/fleet/sidecar_calls.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace cog {

struct SidecarOutcome {
    SidecarCall call;
    bool ok; // answered with a 2xx status
};

class SidecarClient {
public:
    // Calls beyond this many waiting are dropped: a sidecar that stopped answering must not make
    // the room hoard memory.
    static constexpr size_t MAX_QUEUED = 64;

    SidecarClient(uint16_t port, int64_t timeout_ms);
    ~SidecarClient();
    SidecarClient(const SidecarClient&) = delete;
    SidecarClient& operator=(const SidecarClient&) = delete;

    // Queues a call with its JSON body. Health beats travel on their own lane, so a backlog of
    // other calls never delays them; a beat while the previous one is still out is skipped.
    // Every other call goes out one at a time in the order given, so a player's connect always
    // reaches the sidecar before the same player's disconnect. False: the call was dropped.
    bool post(SidecarCall call, std::string body);

    // Moves the transfers along without waiting and returns the calls that finished since the
    // last pump (valid until the next pump).
    std::span<const SidecarOutcome> pump();

    bool idle() const;

private:
    struct Request {
        SidecarCall call;
        std::string body;
    };
    struct Transfer; // one call in flight
    struct TransferDeleter {
        void operator()(Transfer* transfer) const;
    };
    using TransferPtr = std::unique_ptr<Transfer, TransferDeleter>;

    TransferPtr begin(const Request& request);
    void finish(TransferPtr& lane, bool ok);
    void start_next_ordered();

    void* multi_ = nullptr; // CURLM*
    std::string base_url_;
    int64_t timeout_ms_;
    std::deque<Request> ordered_;
    TransferPtr ordered_in_flight_;
    TransferPtr health_in_flight_;
    std::vector<SidecarOutcome> finished_;
    size_t dropped_ = 0;
};

} // namespace cog

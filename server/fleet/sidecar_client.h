// Calls to the fleet manager's sidecar over HTTP on the loopback interface, moved along a little
// every frame and never waited for: a slow or absent sidecar costs the game nothing.
#pragma once

#include "server/fleet/sidecar_calls.h"

#include <array>
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
    bool ok;          // answered with a 2xx status
    long status;      // HTTP status; 0: no answer (refused connection, timeout)
    std::string body; // the answer, cut at MAX_BODY_BYTES
    uint32_t subject; // what the call was about (a player's id for the List calls), as posted
};

class SidecarClient {
public:
    // Calls beyond this many waiting are refused: a sidecar that stopped answering must not make
    // the room hoard memory. Callers that must not lose a change check has_room() first.
    static constexpr size_t MAX_QUEUED = 64;
    static constexpr size_t MAX_BODY_BYTES = 16 * 1024;

    SidecarClient(uint16_t port, int64_t timeout_ms, ListApi list_api = ListApi::BETA);
    ~SidecarClient();
    SidecarClient(const SidecarClient&) = delete;
    SidecarClient& operator=(const SidecarClient&) = delete;

    // Queues a call with its JSON body. Health beats and state reads travel on lanes of their own,
    // so a backlog of other calls never delays them; one of those while the previous one is still
    // out is skipped. Every other call goes out one at a time in the order given, so a player's
    // add always reaches the sidecar before the same player's remove. False: the call was not
    // taken.
    bool post(SidecarCall call, std::string body, uint32_t subject = 0);

    // Moves the transfers along without waiting and returns the calls that finished since the
    // last pump (valid until the next pump).
    std::span<const SidecarOutcome> pump();

    bool idle() const;
    // Ordered calls waiting behind the one in flight.
    size_t waiting() const { return ordered_.size(); }
    bool has_room() const { return ordered_.size() < MAX_QUEUED; }

private:
    struct Request {
        SidecarCall call;
        std::string body;
        uint32_t subject;
    };
    struct Transfer; // one call in flight
    struct TransferDeleter {
        void operator()(Transfer* transfer) const;
    };
    using TransferPtr = std::unique_ptr<Transfer, TransferDeleter>;

    TransferPtr begin(const Request& request);
    void start_next_ordered();
    TransferPtr* solo_lane(SidecarCall call); // nullptr: an ordered call
    TransferPtr& lane_of(const Transfer* transfer);

    void* multi_ = nullptr; // CURLM*
    std::string base_url_;
    int64_t timeout_ms_;
    ListApi list_api_;
    std::deque<Request> ordered_;
    TransferPtr ordered_in_flight_;
    std::array<TransferPtr, 2> solo_in_flight_; // health, state read
    std::vector<SidecarOutcome> finished_;
    size_t refused_ = 0;
};

} // namespace cog

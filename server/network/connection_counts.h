// What the connection table counts for the room's metrics: plain integers, bumped on the frame's
// thread where each event happens and read by the host once a frame.
#pragma once

#include <array>
#include <cstdint>

namespace cog {

struct ConnectionCounts {
    // Indexed by wire: 0 the TCP game port, 1 the web port's WebSockets.
    std::array<uint64_t, 2> sent_bytes{};     // frames handed to the transport (TCP: with their header)
    std::array<uint64_t, 2> received_bytes{}; // bytes read, logins included
    uint64_t refused_waiting_full = 0;        // no place left for a connection waiting for its LOGIN
    uint64_t refused_address_waiting = 0;     // its address already had its most connections waiting
    uint64_t refused_bad_message = 0;         // the first message was not a readable LOGIN
    uint64_t refused_stalled = 0;             // no LOGIN in time
};

} // namespace cog

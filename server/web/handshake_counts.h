// Sockets on the web port that the host does not have as WebSockets yet (TLS handshakes, requests
// being read or served, idle keep-alive connections, unfinished upgrades, WebSockets opened since
// the host last took them), counted per peer address so that one address cannot take every place
// the endpoint has, each with the time by which its request must have arrived whole.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cog::web {

class HandshakeCounts {
public:
    // 0 per address: no limit. `timeout_us`: how long a request (or the pause before the next
    // one on a kept-alive connection) may take to arrive whole.
    HandshakeCounts(unsigned per_address = 0, int64_t timeout_us = 0) : per_address_(per_address), timeout_us_(timeout_us) {}

    // Whether one more socket from `address` may be taken.
    bool admits(const std::string& address) const;
    // `socket` (the library's handle) from `address` is waiting for a request since `now_us`.
    void add(const void* socket, const std::string& address, int64_t now_us);
    // Its request has arrived whole (or it is a WebSocket now): no deadline while it is answered.
    void request_arrived(const void* socket);
    // Its answer is complete: the next request must arrive within the timeout from `now_us`.
    void answered(const void* socket, int64_t now_us);
    // Sockets whose request is overdue at `now_us`; each is reported once.
    std::vector<const void*> take_overdue(int64_t now_us);
    // `socket` went to the host as a WebSocket, or closed; unknown sockets are ignored.
    void remove(const void* socket);
    unsigned count(const std::string& address) const;

private:
    struct Entry {
        std::string address;
        int64_t deadline_us = 0; // 0: none
    };
    unsigned per_address_;
    int64_t timeout_us_;
    std::map<const void*, Entry> sockets_;
    std::map<std::string, unsigned> counts_;
};

} // namespace cog::web

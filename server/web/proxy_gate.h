// New sockets held until their first bytes tell whether a PROXY header leads them: a trusted
// front door's must carry one (or the LOCAL command of its health checks), anybody else's must
// not. A socket passes with the address its per-address limits count: the player's, from the
// header, or its own peer's.
#pragma once

#include "server/web/proxy_header.h"
#include "server/web/trusted_proxies.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cog::web {

// Sockets waiting for their first bytes at once; past it, the one that has waited longest is
// closed for a newcomer, so silent sockets cannot lock the port.
inline constexpr size_t MAX_SOCKETS_AWAITING_HEADER = 256;

enum class GateVerdict : uint8_t { Wait, Pass, Refuse, Closed };

struct GateDecision {
    GateVerdict verdict = GateVerdict::Wait;
    std::string address; // what limits count, for Pass
    uint16_t port = 0;
};

// What a socket from `peer` (address without port) whose first bytes read as `header` becomes.
GateDecision judge_proxy_header(const std::vector<TrustedNet>& trusted, std::string_view peer, uint16_t peer_port,
                                const ProxyHeader& header);

struct PassedSocket {
    int fd = -1;
    std::string address; // without its port
    uint16_t port = 0;
    std::string peer() const { return address + ":" + std::to_string(port); }
};

class ProxyGate {
public:
    // `timeout_ns`: how long a socket may take to show its first bytes (its header whole).
    ProxyGate(std::vector<TrustedNet> trusted = {}, int64_t timeout_ns = 0)
        : trusted_(std::move(trusted)), timeout_ns_(timeout_ns) {}
    ~ProxyGate();
    ProxyGate(const ProxyGate&) = delete;
    ProxyGate& operator=(const ProxyGate&) = delete;

    void trust(std::vector<TrustedNet> trusted, int64_t timeout_ns) {
        trusted_ = std::move(trusted);
        timeout_ns_ = timeout_ns;
    }
    // Without trusted networks the gate is never used: sockets go straight in, as they always have.
    bool enabled() const { return !trusted_.empty(); }

    // Takes an accepted, non-blocking socket.
    void add(int fd, int64_t now_ns);
    // Looks once at each waiting socket; returns those that pass (theirs now), closes the refused
    // and the overdue. `log_prefix` starts the refusal line ("" or "[WEB] ").
    std::vector<PassedSocket> take_passed(int64_t now_ns, const char* log_prefix);
    size_t waiting() const { return waiting_.size(); }
    size_t refused_total() const { return refused_total_; }

private:
    struct Waiting {
        int fd = -1;
        std::string address;
        uint16_t port = 0;
        int64_t accepted_ns = 0;
    };
    void refuse(const Waiting& socket);
    void log_refusals(int64_t now_ns, const char* log_prefix);

    std::vector<TrustedNet> trusted_;
    int64_t timeout_ns_;
    std::vector<Waiting> waiting_;
    size_t refused_unlogged_ = 0;
    size_t refused_total_ = 0;
    int64_t refusal_logged_ns_ = -1'000'000'000; // a line is due at once
};

} // namespace cog::web

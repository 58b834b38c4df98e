// Holding new sockets until their first bytes have been judged, and judging them.
#include "server/web/proxy_gate.h"

#include "shared/log/log.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::web {

namespace {

constexpr int64_t REFUSAL_LINE_INTERVAL_NS = 1'000'000'000;

// The peer's address (IPv4 mapped into IPv6 written as IPv4) and port.
void peer_of(int fd, std::string& address, uint16_t& port) {
    sockaddr_storage raw{};
    socklen_t size = sizeof raw;
    address = "?";
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&raw), &size) != 0) return;
    char text[INET6_ADDRSTRLEN] = "?";
    if (raw.ss_family == AF_INET) {
        const auto* in4 = reinterpret_cast<const sockaddr_in*>(&raw);
        inet_ntop(AF_INET, &in4->sin_addr, text, sizeof text);
        port = ntohs(in4->sin_port);
    } else if (raw.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&raw);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof text);
        else inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
    }
    address = text;
}

} // namespace

GateDecision judge_proxy_header(const std::vector<TrustedNet>& trusted, std::string_view peer, uint16_t peer_port,
                                const ProxyHeader& header) {
    switch (header.status) {
    case ProxyHeaderStatus::NeedMore: return GateDecision{GateVerdict::Wait, {}, 0};
    case ProxyHeaderStatus::Closed: return GateDecision{GateVerdict::Closed, {}, 0};
    default: break;
    }
    const bool door = is_trusted_peer(trusted, peer);
    if (door && header.status == ProxyHeaderStatus::Proxied) return {GateVerdict::Pass, header.address, header.port};
    // The door's own health check: nobody behind it, so it counts as the door.
    if (door && header.status == ProxyHeaderStatus::Local) return {GateVerdict::Pass, std::string(peer), peer_port};
    if (!door && header.status == ProxyHeaderStatus::Absent) return {GateVerdict::Pass, std::string(peer), peer_port};
    // A door's connection without a header could be anybody's; anybody else's header is a lie.
    return GateDecision{GateVerdict::Refuse, {}, 0};
}

ProxyGate::~ProxyGate() {
    for (const Waiting& socket : waiting_) close(socket.fd);
}

void ProxyGate::add(int fd, int64_t now_ns) {
    if (waiting_.size() >= MAX_SOCKETS_AWAITING_HEADER) {
        refuse(waiting_.front()); // the oldest: kept in order of arrival
        waiting_.erase(waiting_.begin());
    }
    Waiting socket{fd, {}, 0, now_ns};
    peer_of(fd, socket.address, socket.port);
    waiting_.push_back(std::move(socket));
}

void ProxyGate::refuse(const Waiting& socket) {
    close(socket.fd);
    ++refused_unlogged_;
    ++refused_total_;
}

void ProxyGate::log_refusals(int64_t now_ns, const char* log_prefix) {
    if (refused_unlogged_ == 0 || now_ns - refusal_logged_ns_ < REFUSAL_LINE_INTERVAL_NS) return;
    LOG_WARN("%sRefused %zu connections: a PROXY header from outside --trusted-proxy, none from inside it, "
             "a bad one, or none in time",
             log_prefix, refused_unlogged_);
    refused_unlogged_ = 0;
    refusal_logged_ns_ = now_ns;
}

std::vector<PassedSocket> ProxyGate::take_passed(int64_t now_ns, const char* log_prefix) {
    std::vector<PassedSocket> passed;
    std::vector<Waiting> still;
    for (Waiting& socket : waiting_) {
        const GateDecision decision = judge_proxy_header(trusted_, socket.address, socket.port, take_proxy_header(socket.fd));
        if (decision.verdict == GateVerdict::Pass) passed.push_back({socket.fd, decision.address, decision.port});
        else if (decision.verdict == GateVerdict::Closed) close(socket.fd);
        else if (decision.verdict == GateVerdict::Refuse || now_ns - socket.accepted_ns > timeout_ns_) refuse(socket);
        else still.push_back(std::move(socket));
    }
    waiting_ = std::move(still);
    log_refusals(now_ns, log_prefix);
    return passed;
}

} // namespace cog::web

// What a TLS web port lets in per unit of time: new sockets from one address at a steady rate,
// and, from everyone together, a few new sockets and a few handshakes (the costly half a server
// does on a ClientHello: a key exchange and a signature) per frame of the game, so that a flood of
// handshakes costs the frame loop a bounded slice of each frame whoever sends it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace cog::web {

// A frame of the game, which the budgets below are counted in.
inline constexpr int64_t FRAME_US = 1'000'000 / 60;
// Handshakes started per frame by everyone together, after a first burst (a browser opens half a
// dozen connections at once to load the page): RSA-2048 signs in about 0.3 ms on a current core
// (P-256 in less), so a frame spends at most a few milliseconds of its 16.7 on them.
inline constexpr unsigned TLS_HANDSHAKES_PER_FRAME = 4;
inline constexpr unsigned TLS_HANDSHAKE_BURST = 16;
// New sockets taken per frame by everyone together, likewise: those beyond the handshake budget
// are turned away cheaply, but each still costs an accept and a look at its ClientHello.
inline constexpr unsigned TLS_SOCKETS_PER_FRAME = 16;
inline constexpr unsigned TLS_SOCKET_BURST = 64;
// New TLS sockets one address may open per second, by default, after a first burst of
// TLS_BURST_SECONDS' worth: two browsers loading the page at once, and each reconnecting.
inline constexpr unsigned DEFAULT_TLS_SOCKETS_PER_ADDRESS_SECOND = 8;
inline constexpr unsigned TLS_BURST_SECONDS = 4;

// A bucket of at most `capacity` tokens, refilled at `per_period` tokens per `period_us`.
struct TokenBucket {
    double tokens = 0;
    int64_t filled_us = 0; // when `tokens` was last brought up to date
    bool started = false;  // a bucket starts full
    bool take(double capacity, double per_period, int64_t period_us, int64_t now_us);
};

// Why a new TLS socket is not taken.
enum class TlsRefusal : uint8_t { None, AddressRate, FrameBudget };

class TlsAdmission {
public:
    // 0 per address: no per-address rate (the frame budgets stay).
    explicit TlsAdmission(unsigned per_address_second = DEFAULT_TLS_SOCKETS_PER_ADDRESS_SECOND)
        : per_address_second_(per_address_second) {}

    // Whether a new socket from `address` may be taken at `now_us`; this machine's own address is
    // held only to the frame's budget.
    TlsRefusal admits_socket(const std::string& address, int64_t now_us);
    // Whether a ClientHello received at `now_us` may be answered.
    bool admits_handshake(int64_t now_us);

private:
    unsigned per_address_second_;
    TokenBucket sockets_, handshakes_;
    std::map<std::string, TokenBucket> addresses_;
    int64_t swept_us_ = 0; // when full buckets were last forgotten
};

} // namespace cog::web

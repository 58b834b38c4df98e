// The binary PROXY header (version 2) a front door writes ahead of each connection it forwards,
// naming the player behind it: parsed strictly, from bytes that may not all have arrived yet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cog::web {

// Signature, version and command, family, length: what precedes the addresses.
inline constexpr size_t PROXY_HEADER_FIXED_BYTES = 16;
// The most a header may announce after its fixed part: two IPv6 addresses and ports take 36, and
// a door adds a few small TLVs at most. A longer one is refused rather than waited for.
inline constexpr size_t MAX_PROXY_HEADER_TAIL_BYTES = 512;
inline constexpr size_t MAX_PROXY_HEADER_BYTES = PROXY_HEADER_FIXED_BYTES + MAX_PROXY_HEADER_TAIL_BYTES;

enum class ProxyHeaderStatus : uint8_t {
    NeedMore,  // the bytes so far may still become a header
    Absent,    // the connection does not start with a header
    Proxied,   // a whole PROXY header: `address` and `port` are the player's
    Local,     // a whole LOCAL header: the door itself (a health check), no player behind it
    Malformed, // a signature followed by what is no header this host takes
    Oversized, // a header announcing more than MAX_PROXY_HEADER_TAIL_BYTES
    Closed,    // the peer closed or reset before the header was whole (reading only)
};

struct ProxyHeader {
    ProxyHeaderStatus status = ProxyHeaderStatus::NeedMore;
    size_t length = 0;   // bytes of the whole header, for Proxied and Local
    std::string address; // the player's address without its port (an IPv4 one mapped into IPv6 as IPv4)
    uint16_t port = 0;
};

ProxyHeader parse_proxy_header(std::string_view bytes);

const char* proxy_header_status_name(ProxyHeaderStatus status);

// Takes a whole header off a non-blocking socket, and not a byte past it: it is peeked at until
// whole, then read at once, so what follows is still the socket's for whoever reads it next.
ProxyHeader take_proxy_header(int fd);

} // namespace cog::web

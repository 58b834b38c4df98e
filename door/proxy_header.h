// The PROXY protocol's version 2 header (binary) that tells a room which address a player
// connected from, since the room only sees the door.
#pragma once

#include <string>
#include <sys/socket.h>

namespace cog::door {

inline constexpr char PROXY_V2_SIGNATURE[12] = {'\r', '\n', '\r', '\n', '\0', '\r', '\n', 'Q', 'U', 'I', 'T', '\n'};

// The header for a TCP connection from `source` to `destination` (IPv4, IPv6 or IPv4 mapped into
// IPv6, which is written as IPv4 when both ends are IPv4). Empty when a family is neither.
std::string proxy_v2_header(const sockaddr_storage& source, const sockaddr_storage& destination);

} // namespace cog::door

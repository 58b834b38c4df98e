// The networks whose connections may name their player in a PROXY header: the front doors.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace cog::web {

struct TrustedNet {
    bool ipv6 = false;
    unsigned char prefix[16] = {}; // the network's address, 4 bytes used for IPv4
    unsigned prefix_bits = 0;
};

// "10.0.0.0/8", "::1/128", or an address alone (all of its bits). Bits past the prefix may be set.
std::optional<TrustedNet> parse_trusted_net(std::string_view cidr);

// `address` (text, without port; IPv4 mapped into IPv6 counts as IPv4) is inside one of `nets`.
bool is_trusted_peer(const std::vector<TrustedNet>& nets, std::string_view address);

} // namespace cog::web

// Reading CIDR networks and telling whether an address is inside one.
#include "server/web/trusted_proxies.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <string>

namespace cog::web {

namespace {

struct RawAddress {
    bool ipv6 = false;
    unsigned char bytes[16] = {};
};

std::optional<RawAddress> parse_address(std::string_view text) {
    const std::string terminated(text);
    RawAddress raw;
    if (inet_pton(AF_INET, terminated.c_str(), raw.bytes) == 1) return raw;
    if (inet_pton(AF_INET6, terminated.c_str(), raw.bytes) != 1) return std::nullopt;
    static constexpr unsigned char MAPPED[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(raw.bytes, MAPPED, sizeof MAPPED) == 0) {
        std::memmove(raw.bytes, raw.bytes + 12, 4);
        return raw;
    }
    raw.ipv6 = true;
    return raw;
}

bool prefix_matches(const TrustedNet& net, const RawAddress& address) {
    if (net.ipv6 != address.ipv6) return false;
    const unsigned whole = net.prefix_bits / 8, rest = net.prefix_bits % 8;
    if (std::memcmp(net.prefix, address.bytes, whole) != 0) return false;
    if (rest == 0) return true;
    const auto mask = static_cast<unsigned char>(0xff << (8 - rest));
    return (net.prefix[whole] & mask) == (address.bytes[whole] & mask);
}

} // namespace

std::optional<TrustedNet> parse_trusted_net(std::string_view cidr) {
    const size_t slash = cidr.find('/');
    const std::optional<RawAddress> address = parse_address(cidr.substr(0, slash));
    if (!address) return std::nullopt;
    TrustedNet net;
    net.ipv6 = address->ipv6;
    std::memcpy(net.prefix, address->bytes, sizeof net.prefix);
    const unsigned most = net.ipv6 ? 128 : 32;
    net.prefix_bits = most;
    if (slash == std::string_view::npos) return net;
    const std::string_view bits = cidr.substr(slash + 1);
    const auto [end, error] = std::from_chars(bits.data(), bits.data() + bits.size(), net.prefix_bits);
    if (bits.empty() || error != std::errc() || end != bits.data() + bits.size() || net.prefix_bits > most)
        return std::nullopt;
    return net;
}

bool is_trusted_peer(const std::vector<TrustedNet>& nets, std::string_view address) {
    const std::optional<RawAddress> raw = parse_address(address);
    if (!raw) return false;
    for (const TrustedNet& net : nets)
        if (prefix_matches(net, *raw)) return true;
    return false;
}

} // namespace cog::web

// Writing the PROXY protocol's version 2 header.
#include "door/proxy_header.h"

#include <cstdint>
#include <cstring>
#include <netinet/in.h>

namespace cog::door {

namespace {

constexpr uint8_t VERSION_2_PROXY = 0x21;
constexpr uint8_t TCP_OVER_IPV4 = 0x11;
constexpr uint8_t TCP_OVER_IPV6 = 0x21;

// An endpoint as 16 bytes of IPv6 (IPv4 mapped) and a port in network order.
struct Endpoint {
    uint8_t address[16] = {};
    uint16_t port_network = 0;
    bool ipv4 = false;
};

bool read_endpoint(const sockaddr_storage& storage, Endpoint& out) {
    if (storage.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(storage);
        out.address[10] = out.address[11] = 0xff;
        std::memcpy(out.address + 12, &in.sin_addr, 4);
        out.port_network = in.sin_port;
        out.ipv4 = true;
        return true;
    }
    if (storage.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(storage);
        std::memcpy(out.address, &in6.sin6_addr, 16);
        out.port_network = in6.sin6_port;
        out.ipv4 = IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr);
        return true;
    }
    return false;
}

void append_bytes(std::string& out, const void* bytes, size_t size) {
    out.append(static_cast<const char*>(bytes), size);
}

} // namespace

std::string proxy_v2_header(const sockaddr_storage& source, const sockaddr_storage& destination) {
    Endpoint from, to;
    if (!read_endpoint(source, from) || !read_endpoint(destination, to)) return {};
    const bool ipv4 = from.ipv4 && to.ipv4;
    const uint16_t length = ipv4 ? 12 : 36;
    std::string header(PROXY_V2_SIGNATURE, sizeof(PROXY_V2_SIGNATURE));
    header.push_back(static_cast<char>(VERSION_2_PROXY));
    header.push_back(static_cast<char>(ipv4 ? TCP_OVER_IPV4 : TCP_OVER_IPV6));
    header.push_back(static_cast<char>(length >> 8));
    header.push_back(static_cast<char>(length & 0xff));
    const size_t skip = ipv4 ? 12 : 0;
    append_bytes(header, from.address + skip, 16 - skip);
    append_bytes(header, to.address + skip, 16 - skip);
    append_bytes(header, &from.port_network, 2);
    append_bytes(header, &to.port_network, 2);
    return header;
}

} // namespace cog::door

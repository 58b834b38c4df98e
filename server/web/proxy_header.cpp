// Parsing the binary PROXY header, and taking one off a socket without reading past it.
#include "server/web/proxy_header.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace cog::web {

namespace {

constexpr char SIGNATURE[] = "\r\n\r\n\0\r\nQUIT\n";
constexpr size_t SIGNATURE_BYTES = 12;
constexpr uint8_t VERSION_2 = 0x20;
constexpr uint8_t COMMAND_LOCAL = 0x0;
constexpr uint8_t COMMAND_PROXY = 0x1;
constexpr uint8_t TCP_IPV4 = 0x11;
constexpr uint8_t TCP_IPV6 = 0x21;
constexpr size_t IPV4_ADDRESS_BYTES = 12; // source, destination, two ports
constexpr size_t IPV6_ADDRESS_BYTES = 36;

ProxyHeader bare(ProxyHeaderStatus status, size_t length = 0) {
    ProxyHeader header;
    header.status = status;
    header.length = length;
    return header;
}

uint8_t byte_at(std::string_view bytes, size_t at) { return static_cast<uint8_t>(bytes[at]); }

uint16_t port_at(std::string_view bytes, size_t at) {
    return static_cast<uint16_t>(byte_at(bytes, at) << 8 | byte_at(bytes, at + 1));
}

std::string ipv6_text(const unsigned char* raw) {
    static constexpr unsigned char MAPPED[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    char text[INET6_ADDRSTRLEN] = "";
    if (std::memcmp(raw, MAPPED, sizeof MAPPED) == 0) inet_ntop(AF_INET, raw + 12, text, sizeof text);
    else inet_ntop(AF_INET6, raw, text, sizeof text);
    return text;
}

// The source address and port of a whole PROXY header's address block.
ProxyHeader source_of(std::string_view bytes, uint8_t family, size_t length) {
    ProxyHeader header = bare(ProxyHeaderStatus::Malformed);
    const size_t tail = length - PROXY_HEADER_FIXED_BYTES;
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data()) + PROXY_HEADER_FIXED_BYTES;
    if (family == TCP_IPV4 && tail >= IPV4_ADDRESS_BYTES) {
        char text[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, raw, text, sizeof text);
        header.address = text;
        header.port = port_at(bytes, PROXY_HEADER_FIXED_BYTES + 8);
    } else if (family == TCP_IPV6 && tail >= IPV6_ADDRESS_BYTES) {
        header.address = ipv6_text(raw);
        header.port = port_at(bytes, PROXY_HEADER_FIXED_BYTES + 32);
    } else {
        return header; // another family (UDP, UNIX, unspecified) or too short for its addresses
    }
    header.status = ProxyHeaderStatus::Proxied;
    header.length = length;
    return header;
}

} // namespace

ProxyHeader parse_proxy_header(std::string_view bytes) {
    const size_t compared = std::min(bytes.size(), SIGNATURE_BYTES);
    if (std::memcmp(bytes.data(), SIGNATURE, compared) != 0) return bare(ProxyHeaderStatus::Absent);
    if (bytes.size() < PROXY_HEADER_FIXED_BYTES) return bare(ProxyHeaderStatus::NeedMore);
    const uint8_t version_command = byte_at(bytes, 12);
    const uint8_t command = version_command & 0x0f;
    if ((version_command & 0xf0) != VERSION_2 || (command != COMMAND_LOCAL && command != COMMAND_PROXY))
        return bare(ProxyHeaderStatus::Malformed);
    const size_t tail = port_at(bytes, 14);
    if (tail > MAX_PROXY_HEADER_TAIL_BYTES) return bare(ProxyHeaderStatus::Oversized);
    const size_t length = PROXY_HEADER_FIXED_BYTES + tail;
    if (bytes.size() < length) return bare(ProxyHeaderStatus::NeedMore);
    if (command == COMMAND_LOCAL) return bare(ProxyHeaderStatus::Local, length);
    return source_of(bytes, byte_at(bytes, 13), length);
}

const char* proxy_header_status_name(ProxyHeaderStatus status) {
    switch (status) {
    case ProxyHeaderStatus::NeedMore: return "NeedMore";
    case ProxyHeaderStatus::Absent: return "Absent";
    case ProxyHeaderStatus::Proxied: return "Proxied";
    case ProxyHeaderStatus::Local: return "Local";
    case ProxyHeaderStatus::Malformed: return "Malformed";
    case ProxyHeaderStatus::Oversized: return "Oversized";
    case ProxyHeaderStatus::Closed: return "Closed";
    }
    return "?";
}

ProxyHeader take_proxy_header(int fd) {
    char bytes[MAX_PROXY_HEADER_BYTES];
    const ssize_t peeked = recv(fd, bytes, sizeof bytes, MSG_PEEK | MSG_DONTWAIT);
    if (peeked == 0) return bare(ProxyHeaderStatus::Closed);
    if (peeked < 0)
        return bare(errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? ProxyHeaderStatus::NeedMore
                                                                              : ProxyHeaderStatus::Closed);
    ProxyHeader header = parse_proxy_header(std::string_view(bytes, static_cast<size_t>(peeked)));
    if (header.status != ProxyHeaderStatus::Proxied && header.status != ProxyHeaderStatus::Local) return header;
    // The peeked bytes are in the socket: this read takes exactly them.
    if (recv(fd, bytes, header.length, MSG_DONTWAIT) != static_cast<ssize_t>(header.length))
        return bare(ProxyHeaderStatus::Closed);
    return header;
}

} // namespace cog::web

// The PROXY v2 header's parser, the door networks it is trusted from, and the verdict on a new
// socket's first bytes.
#include "server/web/proxy_gate.h"
#include "server/web/proxy_header.h"
#include "server/web/trusted_proxies.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::web {
namespace {

const std::string SIGNATURE("\r\n\r\n\0\r\nQUIT\n", 12);

std::string big_endian(uint16_t value) { return {static_cast<char>(value >> 8), static_cast<char>(value & 0xff)}; }

std::string raw_address(int family, const char* text) {
    unsigned char bytes[16] = {};
    inet_pton(family, text, bytes);
    return std::string(reinterpret_cast<char*>(bytes), family == AF_INET ? 4 : 16);
}

// Signature, version/command, family, length, then `body`.
std::string header(uint8_t version_command, uint8_t family, const std::string& body, int length = -1) {
    return SIGNATURE + static_cast<char>(version_command) + static_cast<char>(family) +
           big_endian(static_cast<uint16_t>(length < 0 ? body.size() : static_cast<size_t>(length))) + body;
}

const std::string V4_BODY = raw_address(AF_INET, "203.0.113.7") + raw_address(AF_INET, "10.0.0.5") +
                            big_endian(51000) + big_endian(8080);
const std::string V6_BODY = raw_address(AF_INET6, "2001:db8::7") + raw_address(AF_INET6, "::1") + big_endian(443) +
                            big_endian(8080);
const std::string MAPPED_BODY = raw_address(AF_INET6, "::ffff:198.51.100.9") + raw_address(AF_INET6, "::1") +
                                big_endian(1) + big_endian(8080);

TEST(ProxyHeaderParser, TakesWholeWellFormedHeadersAndNothingElse) {
    const std::string tlv = std::string("\x04\x00\x02", 3) + "ab"; // a small TLV after the addresses
    struct Case {
        const char* what;
        std::string bytes;
        ProxyHeaderStatus status;
        std::string address;
        uint16_t port;
        size_t length;
    };
    const Case cases[] = {
        {"IPv4", header(0x21, 0x11, V4_BODY), ProxyHeaderStatus::Proxied, "203.0.113.7", 51000, 28},
        {"IPv4, the request behind it", header(0x21, 0x11, V4_BODY) + "GET / HTTP/1.1", ProxyHeaderStatus::Proxied,
         "203.0.113.7", 51000, 28},
        {"IPv4 with a TLV", header(0x21, 0x11, V4_BODY + tlv), ProxyHeaderStatus::Proxied, "203.0.113.7", 51000, 33},
        {"IPv6", header(0x21, 0x21, V6_BODY), ProxyHeaderStatus::Proxied, "2001:db8::7", 443, 52},
        {"IPv4 mapped into IPv6", header(0x21, 0x21, MAPPED_BODY), ProxyHeaderStatus::Proxied, "198.51.100.9", 1, 52},
        {"LOCAL", header(0x20, 0x00, ""), ProxyHeaderStatus::Local, "", 0, 16},
        {"LOCAL with addresses", header(0x20, 0x11, V4_BODY), ProxyHeaderStatus::Local, "", 0, 28},
        {"an HTTP request", "GET / HTTP/1.1\r\n", ProxyHeaderStatus::Absent, "", 0, 0},
        {"a bad signature", "\r\n\r\n\0\r\nQUIT!" + std::string(20, 'x'), ProxyHeaderStatus::Absent, "", 0, 0},
        {"nothing yet", "", ProxyHeaderStatus::NeedMore, "", 0, 0},
        {"part of the signature", SIGNATURE.substr(0, 7), ProxyHeaderStatus::NeedMore, "", 0, 0},
        {"truncated addresses", header(0x21, 0x11, V4_BODY).substr(0, 20), ProxyHeaderStatus::NeedMore, "", 0, 0},
        {"an oversized length", header(0x21, 0x11, V4_BODY, 513), ProxyHeaderStatus::Oversized, "", 0, 0},
        {"the largest length", header(0x21, 0x11, V4_BODY, 512), ProxyHeaderStatus::NeedMore, "", 0, 0},
        {"version 1 in binary", header(0x11, 0x11, V4_BODY), ProxyHeaderStatus::Malformed, "", 0, 0},
        {"an unknown command", header(0x22, 0x11, V4_BODY), ProxyHeaderStatus::Malformed, "", 0, 0},
        {"UDP", header(0x21, 0x12, V4_BODY), ProxyHeaderStatus::Malformed, "", 0, 0},
        {"UNIX sockets", header(0x21, 0x31, std::string(216, 'a')), ProxyHeaderStatus::Malformed, "", 0, 0},
        {"an unspecified family", header(0x21, 0x00, ""), ProxyHeaderStatus::Malformed, "", 0, 0},
        {"IPv4 too short for its addresses", header(0x21, 0x11, V4_BODY.substr(0, 8)), ProxyHeaderStatus::Malformed,
         "", 0, 0},
        {"IPv6 too short for its addresses", header(0x21, 0x21, V4_BODY), ProxyHeaderStatus::Malformed, "", 0, 0},
    };
    for (const Case& c : cases) {
        const ProxyHeader parsed = parse_proxy_header(c.bytes);
        EXPECT_EQ(parsed.status, c.status) << c.what << ": " << proxy_header_status_name(parsed.status);
        EXPECT_EQ(parsed.address, c.address) << c.what;
        EXPECT_EQ(parsed.port, c.port) << c.what;
        EXPECT_EQ(parsed.length, c.length) << c.what;
    }
}

TEST(ProxyHeaderParser, TrustsOnlyTheDoorsNetworks) {
    const std::vector<TrustedNet> doors = {*parse_trusted_net("10.0.0.0/8"), *parse_trusted_net("192.168.1.0/25"),
                                           *parse_trusted_net("::1/128"), *parse_trusted_net("127.0.0.1")};
    const std::pair<const char*, bool> peers[] = {
        {"10.255.1.2", true},  {"11.0.0.1", false},     {"192.168.1.127", true}, {"192.168.1.128", false},
        {"::1", true},         {"::2", false},          {"127.0.0.1", true},     {"127.0.0.2", false},
        {"::ffff:10.1.2.3", true}, {"not an address", false},
    };
    for (const auto& [peer, trusted] : peers) EXPECT_EQ(is_trusted_peer(doors, peer), trusted) << peer;
    for (const char* bad : {"10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0.0/8x", "door", ""})
        EXPECT_FALSE(parse_trusted_net(bad).has_value()) << bad;

    const ProxyHeader player = parse_proxy_header(header(0x21, 0x11, V4_BODY));
    const ProxyHeader local = parse_proxy_header(header(0x20, 0x00, ""));
    const ProxyHeader none = parse_proxy_header("GET /");
    const ProxyHeader bad = parse_proxy_header(header(0x21, 0x12, V4_BODY));
    struct Case {
        const char* peer;
        const ProxyHeader& first_bytes;
        GateVerdict verdict;
        const char* counted;
    };
    const Case cases[] = {
        {"10.0.0.9", player, GateVerdict::Pass, "203.0.113.7"}, {"10.0.0.9", local, GateVerdict::Pass, "10.0.0.9"},
        {"10.0.0.9", none, GateVerdict::Refuse, ""},            {"10.0.0.9", bad, GateVerdict::Refuse, ""},
        {"172.16.0.1", player, GateVerdict::Refuse, ""},        {"172.16.0.1", local, GateVerdict::Refuse, ""},
        {"172.16.0.1", none, GateVerdict::Pass, "172.16.0.1"},
    };
    for (const Case& c : cases) {
        const GateDecision decision = judge_proxy_header(doors, c.peer, 9, c.first_bytes);
        EXPECT_EQ(decision.verdict, c.verdict) << c.peer;
        EXPECT_EQ(decision.address, c.counted) << c.peer;
    }
}

// Whatever follows the header is left in the socket for the library or the LOGIN's reader.
TEST(ProxyHeaderParser, TakesTheHeaderOffASocketAndNotAByteMore) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    const std::string bytes = header(0x21, 0x11, V4_BODY) + "GET /";
    ASSERT_EQ(write(pair[1], bytes.data(), 20), 20);
    EXPECT_EQ(take_proxy_header(pair[0]).status, ProxyHeaderStatus::NeedMore);
    ASSERT_EQ(write(pair[1], bytes.data() + 20, bytes.size() - 20), static_cast<ssize_t>(bytes.size() - 20));
    EXPECT_EQ(take_proxy_header(pair[0]).address, "203.0.113.7");
    char rest[16] = {};
    EXPECT_EQ(read(pair[0], rest, sizeof rest), 5);
    EXPECT_STREQ(rest, "GET /");
    close(pair[1]);
    EXPECT_EQ(take_proxy_header(pair[0]).status, ProxyHeaderStatus::Closed);
    close(pair[0]);
}

} // namespace
} // namespace cog::web

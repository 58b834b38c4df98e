// Rooms behind a trusted front door: each connection's PROXY header names the player, whose
// address the per-address limits count on either port; a header from anywhere else is refused.
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>

namespace cog::test {
namespace {

// The header a door at 127.0.0.1 writes for a player at `source`:40000 (LOCAL: none).
std::string proxy_header(const char* source, bool local = false) {
    std::string header("\r\n\r\n\0\r\nQUIT\n", 12);
    header += local ? '\x20' : '\x21';
    header += '\x11';
    header += std::string("\0\x0c", 2);
    unsigned char addresses[12] = {};
    inet_pton(AF_INET, source, addresses);
    inet_pton(AF_INET, "127.0.0.1", addresses + 4);
    addresses[8] = 40000 >> 8, addresses[9] = 40000 & 0xff, addresses[10] = 0x1f, addresses[11] = 0x90;
    return header + std::string(reinterpret_cast<char*>(addresses), sizeof addresses);
}

void trust_loopback(HostConfig& config) {
    config.trusted_proxies = {*web::parse_trusted_net("127.0.0.1/32")};
    config.max_players_per_address = 16;
    config.handshakes_per_address = 1;
}

// Seated when its INIT arrives, refused when the host closes it.
bool seated(HostHarness& h, TestClient& client) {
    bool init = false;
    h.frames_until([&] {
        init = init || first_event(client.receive_all(2), EventKind::INIT) != nullptr;
        return init;
    }, 40);
    return init;
}

TEST(ProxyHeader, TheGamePortCountsThePlayerNamedByATrustedDoorAndRefusesHeadersFromAnywhereElse) {
    HostHarness h(false, 0, DebugCommandsMode::OPEN, false, trust_loopback);
    ASSERT_TRUE(h.start());
    ConsoleCapture console;
    std::vector<std::unique_ptr<TestClient>> household;
    for (int i = 0; i < 16; ++i) {
        household.push_back(std::make_unique<TestClient>(h.port()));
        household.back()->send_raw(proxy_header("10.0.0.1"));
        household.back()->send_login("p" + std::to_string(i));
        ASSERT_TRUE(seated(h, *household.back())) << i;
    }
    EXPECT_TRUE(console.contains("New connection from 10.0.0.1:40000"));
    EXPECT_EQ(connection_address(h.state().connections, 1), "10.0.0.1");
    struct Case {
        const char* what;
        const char* source; // the connection's own address
        std::string header;
        bool seated;
    };
    const Case cases[] = {
        {"a 17th seat for the same player address", "127.0.0.1", proxy_header("10.0.0.1"), false},
        {"another player address behind the door", "127.0.0.1", proxy_header("10.0.0.2"), true},
        {"a header from outside the door's network", "127.0.0.2", proxy_header("10.0.0.3"), false},
        {"the door without a header", "127.0.0.1", "", false},
        {"the door's LOCAL health check", "127.0.0.1", proxy_header("10.0.0.1", true), true},
        {"a player outside the door, without a header", "127.0.0.2", "", true},
    };
    size_t refused = 0;
    for (const Case& c : cases) {
        TestClient client(h.port(), 0, c.source);
        client.send_raw(c.header);
        client.send_login("late");
        EXPECT_EQ(seated(h, client), c.seated) << c.what;
        if (!c.seated) {
            EXPECT_TRUE(h.frames_until([&] { return client.closed_by_peer(1); }, 40)) << c.what;
        }
        refused += c.seated || c.header == proxy_header("10.0.0.1") ? 0 : 1;
    }
    EXPECT_EQ(h.state().connections.proxy_gate.refused_total(), refused);
    EXPECT_TRUE(console.contains("Refused 1 connections: a PROXY header from outside --trusted-proxy"));
}

// The web port: the library sees no header, and the unfinished requests it counts per address are
// the players' behind the door.
TEST(ProxyHeader, TheWebPortCountsThePlayerNamedByATrustedDoorAndRefusesHeadersFromAnywhereElse) {
    HostHarness h(false, 0, DebugCommandsMode::OPEN, true, trust_loopback);
    ASSERT_TRUE(h.start());
    const auto answered = [&](TestClient& client) {
        std::string reply;
        h.frames_until([&] {
            char bytes[256];
            const ssize_t n = recv(client.fd(), bytes, sizeof bytes, MSG_DONTWAIT);
            if (n > 0) reply.append(bytes, static_cast<size_t>(n));
            return n == 0 || reply.find("\r\n\r\n") != std::string::npos;
        }, 40);
        return reply.rfind("HTTP/1.1 200", 0) == 0;
    };
    TestClient holding(h.web_port());
    holding.send_raw(proxy_header("10.0.0.1") + "GET / HTTP/1.1\r\n"); // unfinished: holds its place
    h.frames(3);
    struct Case {
        const char* what;
        const char* source;
        std::string header;
        bool served;
    };
    const Case cases[] = {
        {"a second unfinished request for the same player address", "127.0.0.1", proxy_header("10.0.0.1"), false},
        {"another player address behind the door", "127.0.0.1", proxy_header("10.0.0.2"), true},
        {"a header from outside the door's network", "127.0.0.2", proxy_header("10.0.0.3"), false},
        {"the door without a header", "127.0.0.1", "", false},
        {"the door's LOCAL health check", "127.0.0.1", proxy_header("10.0.0.1", true), true},
        {"a browser outside the door, without a header", "127.0.0.2", "", true},
    };
    for (const Case& c : cases) {
        TestClient client(h.web_port(), 0, c.source);
        client.send_raw(c.header + "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(answered(client), c.served) << c.what;
    }
    EXPECT_EQ(h.state().web->proxy_refusals(), 2u);
}

} // namespace
} // namespace cog::test

// The door against strangers, with a stand-in room that floods: codes cannot be swept, rooms are
// made only so fast, a request must arrive whole in time, a stalled player does not grow the door,
// and the room learns each player's address from the PROXY header.
#include "tests/door/door_harness.h"
#include "tests/ws_client/ws_client.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <memory>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::test {
namespace {

constexpr const char* REMOTE = "127.0.0.2"; // stands in for another machine

std::vector<std::string> test_room_options() {
    return {"--host-binary", COG_TEST_ROOM, "--room-idle", "1"};
}

TEST(DoorLimits, CodesCannotBeSweptNorRoomsMadeNorSocketsHoardedWithoutEnd) {
    DoorProcess door(test_room_options());
    ASSERT_NE(door.port(), 0) << door.output();
    // Unknown codes, by the API and by WebSocket: ten, then refused for a while.
    std::vector<int> remote, own;
    for (int i = 0; i < 14; ++i) {
        HttpGet ask(door.port(), i % 2 ? "/rooms/BCDF" : "/r/bcdf/play",
                    i % 2 ? "Connection: close\r\n" : "Upgrade: websocket\r\nConnection: Upgrade\r\n", REMOTE);
        for (int wait = 0; wait < 500 && !ask.poll(10); ++wait) {}
        remote.push_back(ask.status());
        own.push_back(http_request(door.port(), "GET", "/rooms/BCDF").status);
    }
    EXPECT_EQ(std::vector<int>(remote.begin(), remote.begin() + 10), std::vector<int>(10, 404));
    EXPECT_EQ(std::vector<int>(remote.begin() + 10, remote.end()), std::vector<int>(4, 429));
    EXPECT_EQ(own, std::vector<int>(14, 404)); // this machine is never limited

    // Rooms made from one address: five, then refused.
    std::vector<int> made;
    for (int i = 0; i < 6; ++i) made.push_back(http_request(door.port(), "POST", "/rooms", "127.0.0.3").status);
    EXPECT_EQ(made, (std::vector<int>{201, 201, 201, 201, 201, 429}));
    // Nobody came: each is stopped once idle, and its code ends.
    std::string code = door.wait_for_line("ended (idle)", 8000);
    EXPECT_NE(code, "") << door.output();

    // One address holds 64 sockets at once; the next is closed at once, this machine's are not.
    std::vector<std::unique_ptr<DribblingRequest>> held;
    for (int i = 0; i < 65; ++i) held.push_back(std::make_unique<DribblingRequest>(door.port(), "127.0.0.4"));
    DribblingRequest own_socket(door.port(), "127.0.0.1");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int closed_at_once = 0;
    for (auto& socket : held) closed_at_once += socket->closed_by_peer();
    EXPECT_EQ(closed_at_once, 1);
    EXPECT_FALSE(own_socket.closed_by_peer());
    held.clear();

    // A request that dribbles in is closed after its 5 s, however often a byte comes.
    DribblingRequest slow(door.port(), REMOTE);
    bool closed = false;
    for (int i = 0; i < 14 && !closed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        slow.dribble();
        closed = slow.closed_by_peer();
    }
    EXPECT_TRUE(closed);
}

size_t last_flood(const std::string& output) {
    const size_t at = output.rfind("test room: flooded ");
    return at == std::string::npos ? 0 : std::stoull(output.substr(at + 19));
}

TEST(DoorLimits, AStalledPlayerHoldsTheRoomBackAndTheRoomKnowsWhoHeIs) {
    DoorProcess door(test_room_options());
    ASSERT_NE(door.port(), 0) << door.output();
    const std::string code = json_string(http_request(door.port(), "POST", "/rooms").body, "code");
    ASSERT_EQ(code.size(), 4u);

    const int fd = connect_from(REMOTE, door.port());
    ASSERT_GE(fd, 0);
    const int small = 65536; // the player's own socket takes little, as a stalled phone's would
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    const std::string request = "GET /r/" + code + "/play?v=1 HTTP/1.1\r\nHost: door.test:1234\r\nOrigin: http://door.test:1234\r\n"
                                "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                "Sec-WebSocket-Version: 13\r\n\r\n";
    ASSERT_EQ(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));

    const std::string seen = door.wait_for_line("test room: proxy", 10000);
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    char ports[9];
    std::snprintf(ports, sizeof(ports), "%04x%04x", ntohs(local.sin_port), door.port());
    // Signature, version 2 PROXY, TCP over IPv4, 12 bytes: from 127.0.0.2 to 127.0.0.1.
    EXPECT_EQ(seen, "test room: proxy 0d0a0d0a000d0a515549540a2111000c7f0000027f000001" + std::string(ports) +
                        " request GET /play?v=1 HTTP/1.1 host door.test:1234 origin http://door.test:1234");

    // The player reads nothing for a while: the room can push only what the buffers on the way
    // hold, not everything it has.
    // (Unbounded, the door took 200 MB from this room in those 2 seconds.)
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_LT(last_flood(door.output()), size_t{64} << 20);
    // And the bytes still flow once the player reads again.
    char chunk[65536];
    size_t read_back = 0;
    while (read_back < (size_t{4} << 20)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        const ssize_t got = ::recv(fd, chunk, sizeof(chunk), 0);
        if (got <= 0) break;
        read_back += static_cast<size_t>(got);
    }
    EXPECT_GE(read_back, size_t{4} << 20);
    ::close(fd);
}

} // namespace
} // namespace cog::test

// A connection whose send failed part-way takes nothing more, so its stream is never misframed;
// one address cannot fill the places of connections waiting for their LOGIN.
#include "server/network/connections.h"
#include "server/network/socket_util.h"
#include "tests/support/test_world.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <memory_resource>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::test {
namespace {

TEST(Connections, AHalfSentFrameBreaksTheConnectionForGood) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    int small = 4096;
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ConnectionTable table;
    attach_socket(table, 7, Transport{pair[0], nullptr}, 0);

    const std::string text(300'000, 'x'); // far more than the socket can hold
    ServerMessage chat;
    chat.event.kind = EventKind::CHAT_MESSAGE;
    chat.event.message = text;
    EXPECT_FALSE(send_to(table, 7, chat));
    EXPECT_EQ(first_broken(table), 7u);
    EXPECT_EQ(live_socket(table, 7), nullptr);

    // The peer drains what arrived: part of one frame. Nothing more may follow, even though
    // the socket could take a small message now.
    std::string received;
    char buffer[65536];
    for (ssize_t n; (n = recv(pair[1], buffer, sizeof buffer, 0)) > 0;) received.append(buffer, size_t(n));
    ASSERT_GT(received.size(), 4u);
    EXPECT_LT(received.size(), text.size());
    ServerMessage stop;
    stop.event.kind = EventKind::STOP_MUSIC;
    EXPECT_FALSE(send_to(table, 7, stop));
    EXPECT_LT(recv(pair[1], buffer, sizeof buffer, 0), 0); // nothing new: would block

    close_all(table);
    close(pair[1]);
}

int connect_from(const char* source, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool closed_by_peer(int fd) {
    char byte;
    return recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

size_t count_closed(const std::vector<int>& fds) {
    size_t closed = 0;
    for (int fd : fds) closed += closed_by_peer(fd);
    return closed;
}

TEST(Connections, OneAddressWaitsForLoginInOnlyAFewPlacesAndOthersStillGetIn) {
    ConnectionTable table;
    table.pending_logins_per_address = 3;
    table.listener = create_listener("127.0.0.1", 0, 64).fd;
    ASSERT_GE(table.listener, 0);
    set_non_blocking(table.listener, true);
    const uint16_t port = bound_port(table.listener);
    // Ten arrive in one frame from one address: those of the same frame count too.
    std::vector<int> silent;
    for (int i = 0; i < 10; ++i) silent.push_back(connect_from("127.0.0.3", port));
    accept_connections(table, 1, true);
    EXPECT_EQ(table.pending_logins.size(), 3u);
    usleep(1000);
    EXPECT_EQ(count_closed(silent), silent.size() - 3);
    // They stay silent: in the next frame their address gets no more places, another does.
    std::vector<int> more;
    for (int i = 0; i < 5; ++i) more.push_back(connect_from("127.0.0.3", port));
    const int honest = connect_from("127.0.0.2", port);
    ASSERT_GE(honest, 0);
    ConsoleCapture console;
    accept_connections(table, 2, true);
    EXPECT_EQ(table.pending_logins.size(), 4u);
    EXPECT_EQ(count_closed(more), more.size());
    // The refused ones are counted in one line, not named one by one.
    EXPECT_EQ(console.count("New connection from 127.0.0.3:"), 0u);
    EXPECT_EQ(console.count("New connection from 127.0.0.2:"), 1u);

    const std::string body = R"({"kind":0,"player_name":"Ann"})";
    const uint32_t size = htonl(static_cast<uint32_t>(body.size()));
    std::string frame(reinterpret_cast<const char*>(&size), 4);
    frame += body;
    ASSERT_EQ(send(honest, frame.data(), frame.size(), 0), static_cast<ssize_t>(frame.size()));
    std::pmr::monotonic_buffer_resource scratch;
    std::vector<ArrivedLogin> arrived;
    for (int tries = 0; tries < 100 && arrived.empty(); ++tries) {
        arrived = take_arrived_logins(table, 3 + tries, scratch);
        usleep(1000);
    }
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0].player_name, "Ann");
    attach_socket(table, 5, arrived[0].transport, 4);
    EXPECT_EQ(connection_address(table, 5), "127.0.0.2");
    EXPECT_EQ(connection_address(table, 6), "");
    // A browser on an IPv6 socket and a TCP client of the same machine are one address.
    EXPECT_EQ(address_part("::ffff:127.0.0.2:40000"), "127.0.0.2");
    EXPECT_EQ(address_part("::1:40000"), "::1");

    close_all(table);
    for (int fd : silent) close(fd);
    for (int fd : more) close(fd);
    close(honest);
}

} // namespace
} // namespace cog::test

// A connection whose send failed part-way takes nothing more, so its stream is never misframed.
#include "server/network/connections.h"

#include <gtest/gtest.h>
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

} // namespace
} // namespace cog::test

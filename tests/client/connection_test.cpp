// The client's connection against the host's own framing, over real TCP sockets.
#include "client/connection.h"
#include "client/session.h"
#include "server/network/socket_util.h"
#include "shared/protocol/framing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cog::client {
namespace {

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        listener = create_listener("127.0.0.1", 0, 4).fd;
        ASSERT_GE(listener, 0);
        port = bound_port(listener);
    }
    void TearDown() override {
        if (host >= 0) close(host);
        close(listener);
    }
    void accept_client() {
        ASSERT_EQ(client.open("127.0.0.1", port, 1000), ConnectError::None);
        host = accept(listener, nullptr, nullptr);
        ASSERT_GE(host, 0);
    }
    // Polls the client for up to a second until `count` messages are in or it reports an error.
    ProtocolError receive(std::vector<HostMessage>& out, size_t count) {
        ProtocolError error = ProtocolError::None;
        for (int i = 0; i < 200 && out.size() < count && error == ProtocolError::None; ++i) {
            error = client.receive(out);
            if (out.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return error;
    }
    void put(std::string_view bytes) { ASSERT_EQ(write(host, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    int listener = -1;
    int host = -1;
    uint16_t port = 0;
    Connection client;
};

TEST_F(ConnectionTest, HostFramingReadsTheClientAndTheClientReadsTheHost) {
    accept_client();
    ASSERT_EQ(client.send(login_message("Zoë", 42)), ProtocolError::None);
    ASSERT_EQ(client.send(command_message("push metro")), ProtocolError::None);

    FrameReader reader;
    std::pmr::monotonic_buffer_resource arena;
    Received login = receive_message(host, reader, &arena);
    for (int i = 0; i < 100 && login.error == ProtocolError::Would_Block; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        login = receive_message(host, reader, &arena);
    }
    ASSERT_EQ(login.error, ProtocolError::None);
    EXPECT_EQ(login.message.kind, ClientMessageKind::LOGIN);
    EXPECT_EQ(login.message.player_name, "Zoë");
    EXPECT_EQ(login.message.previous_player_id, 42u);
    Received command = receive_message(host, reader, &arena);
    ASSERT_EQ(command.error, ProtocolError::None);
    EXPECT_EQ(command.message.settings_command, "push metro");

    ServerMessage init;
    init.event.kind = EventKind::INIT;
    init.event.client_id = 3;
    ServerMessage picture;
    picture.kind = ServerMessageKind::DRAW_COMMANDS;
    picture.commands.push_back(DrawCommand{.kind = DrawCommandKind::TEXT, .text = "hello"});
    ASSERT_EQ(send_message(host, init), ProtocolError::None);
    ASSERT_EQ(send_message(host, picture), ProtocolError::None);
    std::vector<HostMessage> got;
    EXPECT_EQ(receive(got, 2), ProtocolError::None);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message.event.client_id, 3u);
    ASSERT_EQ(got[1].message.commands.size(), 1u);
    EXPECT_EQ(got[1].message.commands[0].text, "hello");
}

TEST_F(ConnectionTest, FramesSplitAcrossReadsAreJoinedAndBadStreamsClose) {
    accept_client();
    const std::string body = R"({"kind":0,"event":{"kind":3,"message":"split"}})";
    const std::string frame = std::string{0, 0, 0, static_cast<char>(body.size())} + body;
    std::vector<HostMessage> got;
    put(frame.substr(0, 2));
    EXPECT_EQ(client.receive(got), ProtocolError::None);
    put(frame.substr(2, 10));
    EXPECT_EQ(client.receive(got), ProtocolError::None);
    EXPECT_TRUE(got.empty());
    put(frame.substr(12) + frame); // the rest, then a whole second frame in the same read
    EXPECT_EQ(receive(got, 2), ProtocolError::None);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].message.event.message, "split");

    put(std::string(4, '\0')); // a zero length can only mean a broken stream
    got.clear();
    EXPECT_EQ(receive(got, 1), ProtocolError::InvalidLength);
    EXPECT_FALSE(client.is_open());

    accept_client();
    close(host);
    host = -1;
    EXPECT_EQ(receive(got, 1), ProtocolError::ConnectionClosed);
    EXPECT_FALSE(client.is_open());
}

TEST(ConnectionErrors, RefusedIsToldAndNothingIsSent) {
    // A port that was just free: nothing listens there.
    const int probe = create_listener("127.0.0.1", 0, 1).fd;
    ASSERT_GE(probe, 0);
    const uint16_t port = bound_port(probe);
    close(probe);
    Connection c;
    EXPECT_EQ(c.open("127.0.0.1", port, 1000), ConnectError::Refused);
    EXPECT_FALSE(c.is_open());
    EXPECT_EQ(c.send(login_message("x", 0)), ProtocolError::ConnectionClosed);
}

} // namespace
} // namespace cog::client

// The client's connection and its reading of the host, over real TCP sockets: the host's own
// framing on the other end, broken and hostile streams, a host that stops reading.
#include "client/net/connection.h"
#include "client/session/connection_keeper.h"
#include "client/session/host_reader.h"
#include "client/session/session.h"
#include "server/network/socket_util.h"
#include "shared/protocol/framing.h"
#include "tests/client/client_capture.h"
#include "tests/client/hostile_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cog::client {
namespace {

using hostile::frame;

std::string picture_of(std::string_view text) {
    return frame(R"({"kind":1,"event":{"kind":0},"commands":[{"kind":1,"text":")" + std::string(text) + R"(","font_size":20}]})");
}

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
    void put(std::string_view bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(host, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += static_cast<size_t>(n);
        }
    }
    // Lets the bytes just written reach the client's socket.
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }
    ProtocolError read(const ReadLimits& limits = {}) {
        return reader.read_frame(client, session, overlay, sound, 10.0, limits);
    }
    std::string shown_text() const {
        const auto picture = reader.picture();
        return picture.empty() ? std::string() : std::string(picture.front().text);
    }

    int listener = -1;
    int host = -1;
    uint16_t port = 0;
    Connection client;
    HostReader reader;
    Session session;
    Overlay overlay;
    CountingSound sound;
};

TEST_F(ConnectionTest, HostFramingReadsTheClientAndTheClientReadsTheHost) {
    accept_client();
    ASSERT_EQ(client.send(login_message("Zoë", 42, "ab12")), ProtocolError::None);
    ASSERT_EQ(client.send(command_message("push metro")), ProtocolError::None);

    FrameReader frames;
    std::pmr::monotonic_buffer_resource arena;
    Received login = receive_message(host, frames, &arena);
    for (int i = 0; i < 100 && login.error == ProtocolError::Would_Block; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        login = receive_message(host, frames, &arena);
    }
    ASSERT_EQ(login.error, ProtocolError::None);
    EXPECT_EQ(login.message.kind, ClientMessageKind::LOGIN);
    EXPECT_EQ(login.message.player_name, "Zoë");
    EXPECT_EQ(login.message.previous_player_id, 42u);
    EXPECT_EQ(login.message.reconnect_secret.value_or("?"), "ab12");
    Received command = receive_message(host, frames, &arena);
    ASSERT_EQ(command.error, ProtocolError::None);
    EXPECT_EQ(command.message.settings_command, "push metro");

    ServerMessage init;
    init.event.kind = EventKind::INIT;
    init.event.client_id = 3;
    init.event.world_width = 1600;
    init.event.world_height = 900;
    init.event.reconnect_secret = "f00d";
    ServerMessage picture;
    picture.kind = ServerMessageKind::DRAW_COMMANDS;
    picture.commands.push_back(DrawCommand{.kind = DrawCommandKind::TEXT, .text = "hello", .font_size = 20});
    ASSERT_EQ(send_message(host, init), ProtocolError::None);
    ASSERT_EQ(send_message(host, picture), ProtocolError::None);
    settle();
    EXPECT_EQ(read(), ProtocolError::None);
    EXPECT_EQ(session.client_id, 3u);
    EXPECT_EQ(session.reconnect_secret, "f00d");
    EXPECT_FLOAT_EQ(session.world.width, 1600);
    EXPECT_FLOAT_EQ(session.world.height, 900);
    EXPECT_EQ(shown_text(), "hello");
    EXPECT_DOUBLE_EQ(session.last_heard_s, 10.0);
}

TEST_F(ConnectionTest, FramesSplitAcrossReadsAreJoinedAndBrokenHeadersClose) {
    accept_client();
    const std::string whole = picture_of("split");
    put(whole.substr(0, 2));
    settle();
    EXPECT_EQ(read(), ProtocolError::None);
    put(whole.substr(2, 10));
    settle();
    EXPECT_EQ(read(), ProtocolError::None);
    EXPECT_FALSE(reader.has_picture());
    put(whole.substr(12) + picture_of("second")); // the rest, then a whole second frame in the same read
    settle();
    EXPECT_EQ(read(), ProtocolError::None);
    EXPECT_EQ(shown_text(), "second");

    put(std::string(4, '\0')); // a zero length can only mean a broken stream
    settle();
    EXPECT_EQ(read(), ProtocolError::InvalidLength);
    EXPECT_FALSE(client.is_open());
    EXPECT_EQ(shown_text(), "second"); // the last picture stays

    close(host);
    accept_client();
    put(picture_of("last words"));
    close(host);
    host = -1;
    settle();
    EXPECT_EQ(read(), ProtocolError::ConnectionClosed);
    EXPECT_FALSE(client.is_open());
    EXPECT_EQ(shown_text(), "last words"); // what came before the close is still shown
}

// What a broken or hostile host sends is skipped, once warned, and the stream goes on.
TEST_F(ConnectionTest, BadMessagesAreSkippedWithOneWarningAndTheSeatIsKept) {
    ConsoleCapture console;
    accept_client();
    put(frame(R"({"kind":0,"event":{"kind":0,"client_id":5,"world_width":1280,"world_height":720}})"));
    put(picture_of("good"));
    settle();
    ASSERT_EQ(read(), ProtocolError::None);
    ASSERT_EQ(session.client_id, 5u);

    // Of the pictures that arrived within one frame only the newest is decoded.
    put(frame(R"({"kind":1,"commands":[{"kind":"not a kind"}]})"));
    put(picture_of("newest"));
    settle();
    EXPECT_EQ(read(), ProtocolError::None);
    EXPECT_EQ(shown_text(), "newest");
    EXPECT_EQ(console.count("does not decode"), 0u);

    put(frame(R"({"kind":7,"event":{"kind":3,"message":"from nowhere"}})")); // unknown message kind
    put(frame(R"({"kind":0,"event":{"kind":99,"client_id":8}})"));          // unknown event kind
    put(frame(R"({"kind":0,"event":{"kind":0,"client_id":0}})"));           // INIT without an id
    put(frame(R"({"kind":0})"));                                              // all zero: an INIT of id 0
    put(frame("not json at all"));
    put(frame(R"({"kind":1,"commands":[{"kind":"x"}]})")); // the newest picture, and it does not decode
    settle();
    EXPECT_EQ(read(), ProtocolError::None);
    put(frame(R"({"kind":1,"commands":[{"kind":"x"}]})"));
    settle();
    EXPECT_EQ(read(), ProtocolError::None);
    EXPECT_TRUE(client.is_open());
    EXPECT_EQ(session.client_id, 5u);
    EXPECT_TRUE(overlay.chat.empty());
    EXPECT_EQ(shown_text(), "newest");
    EXPECT_EQ(console.count("Skipped a picture that does not decode"), 1u);
    EXPECT_EQ(console.count("does not decode"), 2u); // one for the pictures, one for the other message

    // 350,000 empty commands: refused as a whole, once warned, the last picture stays.
    std::string empties = R"({"kind":1,"commands":[{})";
    while (empties.size() < MAX_FRAME_BODY - 8) empties += ",{}";
    empties += "]}";
    for (int round = 0; round < 2; ++round) {
        put(frame(empties));
        settle();
        for (int i = 0; i < 5; ++i) read();
    }
    EXPECT_TRUE(client.is_open());
    EXPECT_EQ(console.count("too many commands"), 1u);
    EXPECT_EQ(shown_text(), "newest");
}

TEST_F(ConnectionTest, EachFrameReadsWithinItsBudget) {
    accept_client();
    std::string flood;
    for (int i = 0; i < 200; ++i) flood += frame(R"({"kind":0,"event":{"kind":4,"sound_id":5,"volume":1.0}})");
    flood += picture_of("after the sounds");
    put(flood);
    settle();
    ReadLimits limits;
    limits.events_per_frame = 64;
    limits.sounds_per_frame = 3;
    EXPECT_EQ(read(limits), ProtocolError::None);
    EXPECT_EQ(sound.plays, 3); // the rest of the frame's sounds are dropped
    EXPECT_FALSE(reader.has_picture()); // behind the 64 events of this frame
    for (int i = 0; i < 3; ++i) read(limits);
    EXPECT_EQ(sound.plays, 12);
    EXPECT_EQ(shown_text(), "after the sounds");

    // A byte budget leaves the rest in the socket for the next frames.
    const std::string one = picture_of("p");
    std::string pictures;
    for (int i = 0; i < 10; ++i) pictures += one;
    put(pictures + picture_of("last"));
    settle();
    limits.bytes_per_frame = one.size() * 3;
    read(limits);
    EXPECT_EQ(shown_text(), "p");
    for (int i = 0; i < 5; ++i) read(limits);
    EXPECT_EQ(shown_text(), "last");
}

TEST(ConnectionErrors, RefusedIsToldAndNothingIsSent) {
    // A port that was just free: nothing listens there.
    const int probe = create_listener("127.0.0.1", 0, 1).fd;
    ASSERT_GE(probe, 0);
    const uint16_t port = bound_port(probe);
    close(probe);
    for (const TransportKind transport : {TransportKind::Tcp, TransportKind::WebSocket}) {
        Connection c;
        EXPECT_EQ(c.open("127.0.0.1", port, 1000, transport), ConnectError::Refused);
        EXPECT_FALSE(c.is_open());
        EXPECT_EQ(c.send(login_message("x", 0, "")), ProtocolError::ConnectionClosed);
    }
}

// Every INPUT that reached the host so far, read without waiting.
std::vector<InputState> inputs_at(int fd, FrameReader& frames, std::pmr::memory_resource* arena) {
    std::vector<InputState> out;
    for (;;) {
        const Received r = receive_message(fd, frames, arena);
        if (r.error != ProtocolError::None) return out;
        if (r.message.kind == ClientMessageKind::INPUT) out.push_back(r.message.input);
    }
}

TEST_F(ConnectionTest, ASilentHostIsToldAndGetsOneMergedInputWhenItWakes) {
    ClientState state;
    ASSERT_EQ(state.connection.open("127.0.0.1", port, 1000), ConnectError::None);
    host = accept(listener, nullptr, nullptr);
    ASSERT_GE(host, 0);
    set_non_blocking(host, true);
    FrameReader frames;
    std::pmr::monotonic_buffer_resource arena;
    log_in(state, 100.0);
    state.session.logged_in = true;

    send_input(state, 101.0);
    update_status(state, 101.0);
    EXPECT_TRUE(state.overlay.status.empty());
    settle();
    EXPECT_EQ(inputs_at(host, frames, &arena).size(), 1u);

    // Two seconds and more without a word: the banner, and the snapshots are held and merged.
    const auto letter = [](char c) { return static_cast<GameKey>(c - 'A'); };
    for (int i = 0; i < 120; ++i) {
        const double now = 102.5 + i / 60.0;
        if (i == 3) key_down(state.keys, letter('Q'));
        if (i == 4) key_up(state.keys, letter('Q'));
        if (i == 7) key_down(state.keys, letter('W'));
        send_input(state, now);
        update_status(state, now);
    }
    EXPECT_EQ(state.overlay.status, STATUS_SILENT);
    settle();
    EXPECT_TRUE(inputs_at(host, frames, &arena).empty());

    state.session.last_heard_s = 105.0; // the host speaks again
    send_input(state, 105.0);
    update_status(state, 105.0);
    EXPECT_TRUE(state.overlay.status.empty());
    settle();
    const std::vector<InputState> woke = inputs_at(host, frames, &arena);
    ASSERT_EQ(woke.size(), 1u);
    EXPECT_TRUE(woke[0].keys['Q' - 'A'].just_pressed);
    EXPECT_TRUE(woke[0].keys['Q' - 'A'].just_released);
    EXPECT_TRUE(woke[0].keys['W' - 'A'].just_pressed);
    EXPECT_TRUE(woke[0].keys['W' - 'A'].is_down);

    // What was held went out once: the next frame's snapshot has only its own edges.
    send_input(state, 105.0 + 1 / 60.0);
    settle();
    const std::vector<InputState> after = inputs_at(host, frames, &arena);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_FALSE(after[0].keys['Q' - 'A'].just_pressed);
    EXPECT_FALSE(after[0].keys['W' - 'A'].just_pressed);
    EXPECT_TRUE(after[0].keys['W' - 'A'].is_down);
}

// A started attempt that never finishes stays in progress across frames and is given up.
void expect_given_up(ClientState& state) {
    keep_connected(state, 50.0);
    update_status(state, 50.0);
    EXPECT_TRUE(state.connection.is_connecting());
    EXPECT_EQ(state.overlay.status, STATUS_LOST);
    for (int i = 1; i <= 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        keep_connected(state, 50.0 + i * 0.1);
    }
    EXPECT_TRUE(state.connection.is_connecting());
    keep_connected(state, 50.0 + CONNECT_TIMEOUT_S);
    EXPECT_FALSE(state.connection.is_connecting());
    EXPECT_FALSE(state.connection.is_open());
}

TEST(Reconnecting, AHandshakeThatHangsNeverHoldsTheFrameAndIsGivenUp) {
    // A listener whose queue is full answers no new handshake: connecting stays in progress.
    const int listener = create_listener("127.0.0.1", 0, 0).fd;
    ASSERT_GE(listener, 0);
    ClientState state;
    ASSERT_EQ(resolve_host("127.0.0.1", bound_port(listener), state.host_address), ConnectError::None);
    std::vector<Connection> fillers(4);
    for (Connection& c : fillers) c.start_connect(state.host_address);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    expect_given_up(state);
    close(listener);

    // Over the WebSocket the TCP handshake completes in the kernel's backlog, but nobody answers
    // the upgrade request.
    const int answerless = create_listener("127.0.0.1", 0, 4).fd;
    ASSERT_GE(answerless, 0);
    ClientState web;
    web.host_address.transport = TransportKind::WebSocket;
    ASSERT_EQ(resolve_host("127.0.0.1", bound_port(answerless), web.host_address), ConnectError::None);
    expect_given_up(web);
    close(answerless);
}

} // namespace
} // namespace cog::client

// Frames over real socket pairs: partial frames, bad headers, closed peers, full buffers.
#include "shared/log/console.h"
#include "shared/protocol/framing.h"
#include "shared/protocol/json.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <memory>
#include <memory_resource>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace cog {
namespace {

class FramingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        for (int fd : fds) ASSERT_EQ(fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK), 0);
        console_set_sink(&FramingTest::collect, this);
    }
    void TearDown() override {
        console_set_sink(nullptr, nullptr);
        for (int fd : fds)
            if (fd >= 0) close(fd);
    }
    static void collect(void* self, std::string_view line) { static_cast<FramingTest*>(self)->console += line; }

    void put(std::string_view bytes) {
        ASSERT_EQ(write(peer(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    static std::string header(uint32_t n) {
        return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n)};
    }
    static std::string frame(std::string_view body) { return header(static_cast<uint32_t>(body.size())) + std::string(body); }
    Received receive() { return receive_message(host(), reader, &arena); }
    size_t pending() {
        char buf[4096];
        ssize_t n = recv(host(), buf, sizeof buf, MSG_PEEK);
        return n > 0 ? static_cast<size_t>(n) : 0;
    }

    int host() const { return fds[0]; }
    int peer() const { return fds[1]; }

    int fds[2] = {-1, -1};
    FrameReader reader;
    std::pmr::monotonic_buffer_resource arena;
    std::string console;
};

TEST_F(FramingTest, EmptySocketWouldBlockAndConsumesNothing) {
    EXPECT_EQ(receive().error, ProtocolError::Would_Block);
    EXPECT_FALSE(reader.frame_started());
}

TEST_F(FramingTest, WholeFrameIsDecoded) {
    put(frame(R"({"kind":3,"settings_command":"role"})"));
    Received r = receive();
    ASSERT_EQ(r.error, ProtocolError::None);
    EXPECT_EQ(r.message.kind, ClientMessageKind::SETTINGS_COMMAND);
    EXPECT_EQ(r.message.settings_command, "role");
    EXPECT_EQ(receive().error, ProtocolError::Would_Block);
}

TEST_F(FramingTest, HeaderInTwoPiecesIsCompletedByALaterCall) {
    const std::string f = frame(R"({"kind":2})");
    put(f.substr(0, 2));
    EXPECT_EQ(receive().error, ProtocolError::Would_Block);
    EXPECT_TRUE(reader.frame_started());
    put(f.substr(2));
    Received r = receive();
    ASSERT_EQ(r.error, ProtocolError::None);
    EXPECT_EQ(r.message.kind, ClientMessageKind::CHAT);
    EXPECT_FALSE(reader.frame_started());
}

TEST_F(FramingTest, BodyInPieces) {
    const std::string f = frame(R"({"kind":0,"player_name":"Bob"})");
    for (size_t i = 0; i + 1 < f.size(); ++i) {
        put(f.substr(i, 1));
        ASSERT_EQ(receive().error, ProtocolError::Would_Block) << i;
    }
    put(f.substr(f.size() - 1));
    Received r = receive();
    ASSERT_EQ(r.error, ProtocolError::None);
    EXPECT_EQ(r.message.player_name, "Bob");
}

TEST_F(FramingTest, TwoFramesInOneWriteGiveTwoMessages) {
    put(frame(R"({"kind":0})") + frame(R"({"kind":1})"));
    EXPECT_EQ(receive().message.kind, ClientMessageKind::LOGIN);
    Received second = receive();
    ASSERT_EQ(second.error, ProtocolError::None);
    EXPECT_EQ(second.message.kind, ClientMessageKind::INPUT);
    EXPECT_EQ(receive().error, ProtocolError::Would_Block);
}

TEST_F(FramingTest, ZeroLengthIsInvalid) {
    put(header(0) + "{}");
    EXPECT_EQ(receive().error, ProtocolError::InvalidLength);
    EXPECT_FALSE(reader.frame_started());
    EXPECT_EQ(pending(), 2u); // only the header was consumed
}

TEST_F(FramingTest, OversizedHeaderIsRejectedWithoutReadingTheBody) {
    put(std::string("\x00\x10\x00\x01", 4) + "{}");
    EXPECT_EQ(receive().error, ProtocolError::MessageTooLarge);
    EXPECT_FALSE(reader.frame_started());
    EXPECT_EQ(pending(), 2u);
}

TEST_F(FramingTest, ExactlyOneMebibyteIsAccepted) {
    std::string body = R"({"kind":2,"message":"big"})";
    body.resize(MAX_FRAME_BODY, ' ');
    const std::string f = frame(body);
    // The socket buffer is smaller than the frame: feed it as the reader drains it.
    size_t sent = 0;
    Received r;
    r.error = ProtocolError::Would_Block;
    while (r.error == ProtocolError::Would_Block) {
        if (sent < f.size()) {
            ssize_t n = write(peer(), f.data() + sent, f.size() - sent);
            if (n > 0) sent += static_cast<size_t>(n);
        }
        r = receive();
        ASSERT_TRUE(r.error == ProtocolError::Would_Block || sent == f.size()) << protocol_error_name(r.error);
    }
    ASSERT_EQ(r.error, ProtocolError::None);
    EXPECT_EQ(r.message.message, "big");
}

TEST_F(FramingTest, PeerClosedBetweenFrames) {
    close(fds[1]);
    fds[1] = -1;
    EXPECT_EQ(receive().error, ProtocolError::ConnectionClosed);
}

TEST_F(FramingTest, PeerClosedInsideAFrame) {
    put(frame(R"({"kind":1})").substr(0, 7));
    EXPECT_EQ(receive().error, ProtocolError::Would_Block);
    close(fds[1]);
    fds[1] = -1;
    EXPECT_EQ(receive().error, ProtocolError::ConnectionClosed);
    EXPECT_FALSE(reader.frame_started());
}

TEST_F(FramingTest, BadDescriptorIsReceiveFailed) {
    FrameReader fresh;
    EXPECT_EQ(receive_message(-1, fresh, &arena).error, ProtocolError::ReceiveFailed);
}

TEST(FramingTcp, ResetPeerIsReceiveFailed) {
    // A loopback TCP pair whose client closes with a zero linger time, which sends a reset.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const int host = accept(listener, nullptr, nullptr);
    ASSERT_GE(host, 0);
    fcntl(host, F_SETFL, fcntl(host, F_GETFL) | O_NONBLOCK);
    const linger hard{1, 0};
    ASSERT_EQ(setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
    ASSERT_EQ(write(client, "\0\0", 2), 2); // a frame has started
    close(client);
    std::pmr::monotonic_buffer_resource arena;
    FrameReader reader;
    Received r;
    // The reset may take a moment to arrive over loopback; until then the frame is just partial.
    for (int i = 0; i < 1000; ++i) {
        r = receive_message(host, reader, &arena);
        if (r.error != ProtocolError::Would_Block) break;
        usleep(1000);
    }
    EXPECT_EQ(r.error, ProtocolError::ReceiveFailed) << protocol_error_name(r.error);
    close(host);
    close(listener);
}

TEST_F(FramingTest, NonJsonBodyIsDecodeFailureAndLogged) {
    put(frame("hello") + frame(R"({"kind":1})"));
    EXPECT_EQ(receive().error, ProtocolError::JsonDecodeFailed);
    EXPECT_NE(console.find("[ERROR]"), std::string::npos) << console;
    EXPECT_NE(console.find(":receive_message()] JSON unmarshal error: Not_Object at byte 0\n"), std::string::npos)
        << console;
    // The stream stays aligned: the next frame is fine.
    EXPECT_EQ(receive().error, ProtocolError::None);
}

TEST_F(FramingTest, SendWritesHeaderAndBody) {
    ServerMessage m;
    m.event.client_id = 3;
    m.event.world_width = 1280;
    m.event.world_height = 720;
    ASSERT_EQ(send_message(peer(), m), ProtocolError::None);
    char buf[512];
    ssize_t n = recv(host(), buf, sizeof buf, 0);
    ASSERT_EQ(n, 190);
    EXPECT_EQ(std::string(buf, 4), std::string("\x00\x00\x00\xba", 4));
    std::string expected;
    write_json(expected, m);
    EXPECT_EQ(std::string(buf + 4, static_cast<size_t>(n - 4)), expected);
}

TEST_F(FramingTest, OversizedMessageIsNotSent) {
    ServerMessage m;
    m.kind = ServerMessageKind::DRAW_COMMANDS;
    const std::string text(MAX_FRAME_BODY, 'a');
    DrawCommand c;
    c.text = text;
    m.commands.push_back(c);
    EXPECT_EQ(send_message(peer(), m), ProtocolError::MessageTooLarge);
    EXPECT_EQ(pending(), 0u);
}

TEST_F(FramingTest, FullSendBufferIsSendFailed) {
    ServerMessage m;
    m.kind = ServerMessageKind::DRAW_COMMANDS;
    const std::string text(60000, 'a');
    DrawCommand c;
    c.text = text;
    m.commands.push_back(c);
    ProtocolError last = ProtocolError::None;
    for (int i = 0; i < 1000 && last == ProtocolError::None; ++i) last = send_message(peer(), m);
    EXPECT_EQ(last, ProtocolError::SendFailed);
}

TEST_F(FramingTest, SendToClosedPeerFailsWithoutSignal) {
    close(fds[0]);
    fds[0] = -1;
    EXPECT_EQ(send_message(peer(), ServerMessage{}), ProtocolError::SendFailed);
}

TEST(ProtocolErrorName, NamesMatchValues) {
    EXPECT_STREQ(protocol_error_name(ProtocolError::Would_Block), "Would_Block");
    EXPECT_STREQ(protocol_error_name(ProtocolError::JsonDecodeFailed), "JsonDecodeFailed");
}

} // namespace
} // namespace cog

namespace cog {
namespace {

// Two connections that announce 1 MiB frames: memory follows the bytes that arrived, and
// what one unfinished frame draws from the shared pool holds the other back until it is done.
TEST(FramePoolTest, UnfinishedFramesHoldWhatArrivedWithinTheSharedPool) {
    constexpr size_t POOL = 512 * 1024;
    FramePool pool(POOL);
    std::pmr::monotonic_buffer_resource arena;
    int a[2], b[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, a), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, b), 0);
    auto reader_a = std::make_unique<FrameReader>(&pool);
    FrameReader reader_b(&pool);
    const std::string announce_mib{'\0', '\x10', '\0', '\0'};
    ASSERT_EQ(write(a[1], (announce_mib + "0123456789").data(), 14), 14);
    ASSERT_EQ(write(b[1], (announce_mib + "0123456789").data(), 14), 14);
    EXPECT_EQ(receive_message(a[0], *reader_a, &arena).error, ProtocolError::Would_Block);
    EXPECT_EQ(receive_message(b[0], reader_b, &arena).error, ProtocolError::Would_Block);
    EXPECT_LE(reader_a->buffer_bytes() + reader_b.buffer_bytes(), 2 * 4096u);
    EXPECT_EQ(pool.held, 0u);

    // Feed A until its frame has drawn more than half the pool; B may then grow only within
    // what is left, and waits with its bytes still in the socket.
    const std::string chunk(64 * 1024, ' ');
    size_t fed_a = 10;
    while (pool.held < POOL / 2 + 64 * 1024) {
        fed_a += static_cast<size_t>(write(a[1], chunk.data(), chunk.size()));
        EXPECT_EQ(receive_message(a[0], *reader_a, &arena).error, ProtocolError::Would_Block);
    }
    for (int i = 0; i < 12; ++i) {
        const ssize_t n = write(b[1], chunk.data(), chunk.size());
        if (n <= 0) break;
        EXPECT_EQ(receive_message(b[0], reader_b, &arena).error, ProtocolError::Would_Block);
        EXPECT_LE(pool.held, POOL);
    }
    EXPECT_LE(reader_b.buffer_bytes() - FRAME_GROWTH_FREE_BYTES, POOL - (reader_a->buffer_bytes() - FRAME_GROWTH_FREE_BYTES));
    // A connection that goes away gives back what it drew.
    reader_a.reset();
    EXPECT_EQ(pool.held, reader_b.buffer_bytes() > FRAME_GROWTH_FREE_BYTES
                             ? reader_b.buffer_bytes() - FRAME_GROWTH_FREE_BYTES
                             : 0u);
    EXPECT_GT(fed_a, POOL / 2);
    for (int fd : {a[0], a[1], b[0], b[1]}) close(fd);
}

} // namespace
} // namespace cog

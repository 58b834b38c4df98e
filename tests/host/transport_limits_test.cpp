// The host's limits at their boundaries, over both ways of reaching it: a TCP client and a
// browser's WebSocket must meet the same message size, message cap, byte budget, login wait,
// stall time and waiting-list rules.
#include "tests/host/host_harness.h"
#include "tests/ws_client/ws_client.h"

#include "server/network/connections.h"
#include "shared/protocol/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cog::test {
namespace {

enum class Way { Tcp, Web };

// One client over either transport. Large TCP messages are written by a thread of their own, as
// a real client blocks on a full socket; a browser compresses its messages and its bytes are
// pushed on at every frame.
class Link {
public:
    Link(HostHarness& h, Way way) : h_(h) {
        if (way == Way::Tcp) {
            tcp_ = std::make_unique<TestClient>(h.port());
            int room = 2 << 20; // a burst waits whole on the host's doorstep
            setsockopt(tcp_->fd(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
            return;
        }
        web_ = std::make_unique<WsClient>(h.web_port(), true);
        drive_until([&] { h.frames(1); }, [&] { return web_->wait_open(2); }, 100);
    }
    ~Link() { join(); }

    void send(std::string body) {
        if (web_) {
            // As a browser sends: compressed, so a burst arrives in the few bytes of one read.
            // A message larger than a frame's budget arrives over many frames either way.
            if (body.size() <= MAX_READ_BYTES_PER_CLIENT_FRAME) web_->send_compressed(body);
            else web_->send_text(body);
            return;
        }
        if (body.size() < 64 * 1024) return tcp_->send_frame(body);
        join();
        writer_ = std::thread([this, body = std::move(body)] { tcp_->send_frame(body); });
    }
    // The first bytes of a message whose rest never comes.
    void send_unfinished() {
        if (tcp_) return tcp_->send_raw(std::string("\0\0\0\x40{\"kind\":1", 14));
        // A text fragment without FIN, masked with a zero key: more of this message is owed.
        const std::string fragment = std::string("\x01\x8a\0\0\0\0", 6) + "{\"kind\":1,";
        ASSERT_EQ(::send(web_->fd(), fragment.data(), fragment.size(), MSG_NOSIGNAL), ssize_t(fragment.size()));
    }
    void login(std::string_view name) {
        ClientMessage message;
        message.kind = ClientMessageKind::LOGIN;
        message.player_name = name;
        std::string body;
        write_json(body, message);
        send(body);
    }
    // Runs frames (pushing the browser's queued bytes) until the INIT arrives; the seat's id.
    uint32_t logged_in(int max_frames = 100) {
        uint32_t id = 0;
        drive_until([&] { frame(); },
                    [&] {
                        for (uint32_t got : inits()) id = got;
                        return id != 0;
                    },
                    max_frames);
        return id;
    }
    // Pushes on what the browser's socket did not take yet.
    void push() {
        if (web_) web_->flush();
    }
    void frame() {
        push();
        h_.frames(1);
    }
    // The host has closed the connection (a browser's close goes out with a frame's service).
    bool closed() {
        if (tcp_) return tcp_->closed_by_peer(50);
        return drive_until([&] { h_.frames(1); }, [&] { return web_->closed_by_peer(2); }, 20);
    }
    void join() {
        if (writer_.joinable()) writer_.join();
    }

private:
    std::vector<uint32_t> inits() {
        std::vector<uint32_t> ids;
        const auto note = [&](const ServerMessage& m) {
            if (m.kind == ServerMessageKind::EVENT && m.event.kind == EventKind::INIT) ids.push_back(m.event.client_id);
        };
        if (tcp_) {
            for (auto& m : tcp_->receive_all(2)) note(m.message);
            return ids;
        }
        for (std::string& body : web_->receive(2)) {
            std::pmr::monotonic_buffer_resource arena;
            ServerMessage m;
            if (!read_json(body, m, &arena)) note(m);
        }
        return ids;
    }

    HostHarness& h_;
    std::unique_ptr<TestClient> tcp_;
    std::unique_ptr<WsClient> web_;
    std::thread writer_;
};

// "tm" padded with spaces to a body of exactly `bytes`.
std::string toggle_of_size(size_t bytes) {
    std::string body = "{\"kind\":3,\"settings_command\":\"tm";
    body.append(bytes - body.size() - 2, ' ');
    body += "\"}";
    return body;
}

// Mouse toggles of player `id` handled so far: lines shown plus those counted as not shown.
size_t toggles(const ConsoleCapture& console, uint32_t id) {
    const std::string shown = "Player " + std::to_string(id) + " toggled mouse pointers";
    const std::string withheld = "[SERVER] Player " + std::to_string(id) + ": ";
    size_t total = 0;
    std::istringstream text(console.text());
    for (std::string line; std::getline(text, line);) {
        if (line.find(shown) != std::string::npos) ++total;
        else if (line.rfind(withheld, 0) == 0) total += std::stoul(line.substr(withheld.size()));
    }
    return total;
}

struct TransportLimits : ::testing::TestWithParam<Way> {
    HostHarness h{false, 0, DebugCommandsMode::OPEN, true};
    void SetUp() override {
        ASSERT_TRUE(h.start());
        ASSERT_NE(h.web_port(), 0);
    }
    void advance_seconds(double s) { h.clock.advance_ns(static_cast<int64_t>(s * 1e9)); }
    std::unique_ptr<Link> player(std::string_view name) {
        auto link = std::make_unique<Link>(h, GetParam());
        link->login(name);
        EXPECT_NE(link->logged_in(), 0u);
        return link;
    }
};

TEST_P(TransportLimits, AMessageOfTheSizeLimitIsTakenOneByteMoreDropsItsSender) {
    auto fits = player("fits");
    auto over = player("over");
    ConsoleCapture console;
    fits->send(toggle_of_size(MAX_FRAME_BODY));
    over->send(toggle_of_size(MAX_FRAME_BODY + 1));
    EXPECT_TRUE(h.frames_until(
        [&] {
            fits->push();
            over->push();
            return toggles(console, 1) == 1 && !h.state().global.players.at(2).connected;
        },
        600));
    EXPECT_TRUE(console.contains("Receive error from 2: MessageTooLarge"));
    EXPECT_TRUE(h.state().global.players.at(1).connected);
    EXPECT_TRUE(over->closed());
}

// Messages handled in each frame that handled any, until `total` were.
std::vector<size_t> toggles_per_frame(Link& link, const ConsoleCapture& console, size_t total) {
    std::vector<size_t> per_frame;
    for (size_t handled = 0, frame = 0; handled < total && frame < 100; ++frame) {
        link.frame();
        const size_t now = toggles(console, 1);
        if (now > handled) per_frame.push_back(now - handled);
        handled = now;
    }
    link.join();
    return per_frame;
}

// Each frame takes as much as its limit allows, and never more, however much waits.
void expect_bounded_by(const std::vector<size_t>& per_frame, size_t limit, size_t total) {
    ASSERT_FALSE(per_frame.empty());
    EXPECT_EQ(*std::max_element(per_frame.begin(), per_frame.end()), limit);
    EXPECT_EQ(std::accumulate(per_frame.begin(), per_frame.end(), size_t{0}), total);
}

TEST_P(TransportLimits, AFrameTakesAtMostTheMessageCapFromOnePlayer) {
    auto flooder = player("flooder");
    constexpr size_t SENT = MAX_MESSAGES_PER_CLIENT_FRAME + 44;
    for (size_t i = 0; i < SENT; ++i) flooder->send("{\"kind\":3,\"settings_command\":\"tm\"}");
    usleep(20'000);
    ConsoleCapture console;
    expect_bounded_by(toggles_per_frame(*flooder, console, SENT), MAX_MESSAGES_PER_CLIENT_FRAME, SENT);
}

TEST_P(TransportLimits, AFrameReadsAtMostItsByteBudgetFromOnePlayer) {
    auto heavy = player("heavy");
    // Bodies that make TCP frames of 64 KiB exactly: a budget's worth is four of them.
    constexpr size_t BODY = 64 * 1024 - 4, COMMANDS = 12, PER_FRAME = MAX_READ_BYTES_PER_CLIENT_FRAME / (BODY + 4);
    for (size_t i = 0; i < COMMANDS; ++i) heavy->send(toggle_of_size(BODY));
    usleep(50'000);
    ConsoleCapture console;
    expect_bounded_by(toggles_per_frame(*heavy, console, COMMANDS), PER_FRAME, COMMANDS);
}

TEST_P(TransportLimits, ALoginIsAwaitedForItsWholeWaitAndNoLonger) {
    Link silent(h, GetParam());
    ASSERT_TRUE(h.frames_until([&] { return h.state().connections.pending_logins.size() == 1; }, 20));
    ConsoleCapture console;
    advance_seconds(4.9);
    h.frames(1);
    EXPECT_EQ(h.state().connections.pending_logins.size(), 1u);
    advance_seconds(0.2);
    h.frames(1);
    EXPECT_TRUE(h.state().connections.pending_logins.empty());
    EXPECT_TRUE(silent.closed());
    EXPECT_TRUE(console.contains("Expected LOGIN message from new client"));
}

TEST_P(TransportLimits, AMessageLeftUnfinishedIsDroppedOnceItsTimeIsUp) {
    auto dribbler = player("dribbler");
    dribbler->send_unfinished();
    usleep(20'000);
    h.frames(2); // the unfinished message is seen; its time starts
    ConsoleCapture console;
    advance_seconds(4.9);
    h.frames(1);
    EXPECT_TRUE(h.state().global.players.at(1).connected);
    advance_seconds(0.2);
    h.frames(1);
    EXPECT_FALSE(h.state().global.players.at(1).connected);
    EXPECT_TRUE(console.contains("Player 1 stalled in the middle of a frame, disconnecting"));
    EXPECT_TRUE(dribbler->closed());
}

TEST_P(TransportLimits, WhenTheWaitingListIsFullTheLongestSilentGivesWayToANewcomer) {
    std::vector<std::unique_ptr<Link>> silent;
    for (size_t i = 0; i < MAX_PENDING_LOGINS; ++i) {
        silent.push_back(std::make_unique<Link>(h, GetParam()));
        h.frames(1); // each waits from a frame of its own
    }
    ASSERT_TRUE(h.frames_until([&] { return h.state().connections.pending_logins.size() == MAX_PENDING_LOGINS; }, 20));
    Link newcomer(h, GetParam());
    newcomer.login("newcomer");
    EXPECT_EQ(newcomer.logged_in(20), 1u);
    EXPECT_TRUE(silent.front()->closed());
    EXPECT_EQ(h.state().connections.pending_logins.size(), MAX_PENDING_LOGINS - 1);
}

INSTANTIATE_TEST_SUITE_P(Ways, TransportLimits, ::testing::Values(Way::Tcp, Way::Web),
                         [](const auto& info) { return info.param == Way::Tcp ? "Tcp" : "WebSocket"; });

} // namespace
} // namespace cog::test

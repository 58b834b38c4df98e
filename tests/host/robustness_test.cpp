// No client can hold up or break the others: silent, dribbling, flooding, oversized and
// non-reading clients, while a well-behaved client keeps getting one picture per frame.
#include "server/main/screen_stack.h"
#include "tests/host/host_harness.h"

#include "shared/log/line_allowance.h"
#include "shared/protocol/json.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cog::test {
namespace {

struct RobustFixture : ::testing::Test {
    HostHarness h;
    std::unique_ptr<TestClient> good;
    void SetUp() override {
        ASSERT_TRUE(h.start());
        good = std::make_unique<TestClient>(h.port());
        ASSERT_EQ(h.login(*good, "good"), 1u);
        good->receive_all();
    }
    // Runs `n` frames and checks the good client got exactly one picture per frame.
    void expect_one_picture_per_frame(int n) {
        good->receive_all(); // pictures of earlier frames
        size_t draws = 0;
        for (int i = 0; i < n; ++i) {
            h.frames(1);
            draws += count_draws(good->receive_all(1));
        }
        draws += count_draws(good->receive_all(20));
        EXPECT_EQ(draws, static_cast<size_t>(n));
    }
    void advance_seconds(double s) { h.clock.advance_ns(static_cast<int64_t>(s * 1e9)); }
    // Key lines shown plus those counted as not shown.
    static size_t key_presses_handled(const ConsoleCapture& console, uint32_t id) {
        const std::string shown = "[SERVER] Player " + std::to_string(id) + " received key: ";
        const std::string withheld = "[SERVER] Player " + std::to_string(id) + ": ";
        size_t total = 0;
        std::istringstream text(console.text());
        for (std::string line; std::getline(text, line);) {
            if (line.rfind(shown, 0) == 0) ++total;
            else if (line.rfind(withheld, 0) == 0) total += std::stoul(line.substr(withheld.size()));
        }
        return total;
    }
};

TEST_F(RobustFixture, SilentConnectionIsDroppedAfterFiveSeconds) {
    ConsoleCapture console;
    TestClient silent(h.port());
    expect_one_picture_per_frame(10);
    EXPECT_FALSE(silent.closed_by_peer(10));
    advance_seconds(5.1);
    h.frames(1);
    EXPECT_TRUE(silent.closed_by_peer(200));
    EXPECT_TRUE(console.contains("Expected LOGIN message from new client"));
}

TEST_F(RobustFixture, ACrowdLoggingInAtOnceIsNotRefused) {
    // More clients than the waiting list holds, each with its LOGIN already sent.
    std::vector<std::unique_ptr<TestClient>> crowd;
    for (size_t i = 0; i < 2 * MAX_PENDING_LOGINS; ++i) {
        crowd.push_back(std::make_unique<TestClient>(h.port()));
        crowd.back()->send_login("crowd");
    }
    usleep(20'000);
    ConsoleCapture console;
    h.frames(1);
    EXPECT_FALSE(console.contains("Too many connections waiting for LOGIN"));
    size_t greeted = 0;
    for (auto& client : crowd) greeted += first_event(client->receive_all(5), EventKind::INIT) ? 1 : 0;
    EXPECT_EQ(greeted, crowd.size());
}

TEST_F(RobustFixture, SilentWaitersGiveWayAndOnlyStartedLoginsAreRefused) {
    h.state().connections.pending_logins_per_address = 0; // one loopback address stands for many
    std::vector<std::unique_ptr<TestClient>> silent;
    for (size_t i = 0; i < MAX_PENDING_LOGINS; ++i) {
        silent.push_back(std::make_unique<TestClient>(h.port()));
        usleep(200);
    }
    expect_one_picture_per_frame(2);
    ASSERT_EQ(h.state().connections.pending_logins.size(), MAX_PENDING_LOGINS);

    // A newcomer takes the place of the one that has been silent longest.
    TestClient newcomer(h.port());
    newcomer.send_login("newcomer");
    usleep(20'000);
    expect_one_picture_per_frame(2);
    EXPECT_NE(first_event(newcomer.receive_all(), EventKind::INIT), nullptr);
    EXPECT_TRUE(silent.front()->closed_by_peer(50));
    EXPECT_FALSE(silent.back()->closed_by_peer(5));

    // Once every waiting place has started its LOGIN, newcomers are refused, and the refusals
    // are logged once with a count rather than once each.
    std::vector<std::unique_ptr<TestClient>> started;
    for (size_t i = 1; i < silent.size(); ++i) silent[i]->send_raw(std::string("\0", 1));
    started.push_back(std::make_unique<TestClient>(h.port()));
    started.back()->send_raw(std::string("\0", 1));
    usleep(20'000);
    h.frames(1);
    ConsoleCapture console;
    std::vector<std::unique_ptr<TestClient>> refused;
    for (int i = 0; i < 6; ++i) refused.push_back(std::make_unique<TestClient>(h.port()));
    usleep(20'000);
    h.frames(2);
    EXPECT_EQ(console.count("Too many connections waiting for LOGIN"), 1u);
    size_t closed = 0;
    for (auto& client : refused) closed += client->closed_by_peer(20) ? 1 : 0;
    EXPECT_EQ(closed, 6u);
    advance_seconds(1.1);
    h.frames(1);
    EXPECT_TRUE(console.contains("Too many connections waiting for LOGIN, refused 5"));
    // A LOGIN still unfinished after a second is no honest client's: it gives way too.
    TestClient patient(h.port());
    patient.send_login("patient");
    usleep(20'000);
    h.frames(2);
    EXPECT_NE(first_event(patient.receive_all(), EventKind::INIT), nullptr);
}

TEST_F(RobustFixture, ALoginIsNotPushedOutBeforeItCouldBeRead) {
    h.state().connections.pending_logins_per_address = 0; // one loopback address stands for many
    // Every place is held by a LOGIN started long ago; then an honest newcomer and, in the same
    // frame, a burst of silent sockets behind it.
    std::vector<std::unique_ptr<TestClient>> dribblers;
    for (size_t i = 0; i < MAX_PENDING_LOGINS; ++i) {
        dribblers.push_back(std::make_unique<TestClient>(h.port()));
        dribblers.back()->send_raw(std::string("\0", 1));
    }
    usleep(20'000);
    h.frames(1);
    advance_seconds(1.1);
    TestClient honest(h.port());
    honest.send_login("honest");
    std::vector<std::unique_ptr<TestClient>> burst;
    for (int i = 0; i < 8; ++i) burst.push_back(std::make_unique<TestClient>(h.port()));
    usleep(20'000);
    h.frames(3);
    EXPECT_NE(first_event(honest.receive_all(), EventKind::INIT), nullptr);
}

// A crowd keeps the frame accepting for several rounds; a large LOGIN waiting among them still
// gets one frame's byte budget in that frame, not one per round.
TEST_F(RobustFixture, ALargeLoginIsReadWithinOneBudgetPerFrameHoweverManyAcceptRounds) {
    std::string body = R"({"kind":0,"player_name":"big","previous_player_id":0)";
    body.append(400 * 1024, ' ');
    body += "}";
    TestClient big(h.port());
    int send_buffer = 2 << 20; // the whole LOGIN waits on the host's doorstep before the frame
    setsockopt(big.fd(), SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer);
    std::thread writer([&] { big.send_frame(body); });
    std::vector<std::unique_ptr<TestClient>> crowd;
    for (size_t i = 0; i < 2 * MAX_PENDING_LOGINS; ++i) { // three rounds
        crowd.push_back(std::make_unique<TestClient>(h.port()));
        crowd.back()->send_login("crowd");
    }
    usleep(50'000);
    h.frames(1);
    size_t greeted = 0;
    for (auto& client : crowd) greeted += first_event(client->receive_all(2), EventKind::INIT) ? 1 : 0;
    EXPECT_EQ(greeted, crowd.size()); // the rounds ran
    size_t frames = 1; // until the big LOGIN is in
    bool in = first_event(big.receive_all(2), EventKind::INIT) != nullptr;
    for (; !in && frames < 20; ++frames) {
        h.frames(1);
        in = first_event(big.receive_all(2), EventKind::INIT) != nullptr;
    }
    writer.join();
    EXPECT_TRUE(in);
    EXPECT_GE(frames, (body.size() + 4 + MAX_READ_BYTES_PER_CLIENT_FRAME - 1) / MAX_READ_BYTES_PER_CLIENT_FRAME);
}

TEST_F(RobustFixture, LoginInPiecesStillWorks) {
    TestClient slow(h.port());
    slow.send_raw(std::string("\0\0", 2));
    expect_one_picture_per_frame(3);
    // The rest of a LOGIN frame, header first.
    std::string body = R"({"kind":0,"player_name":"slow","previous_player_id":0})";
    std::string rest;
    rest.push_back(static_cast<char>(body.size() >> 8));
    rest.push_back(static_cast<char>(body.size()));
    slow.send_raw(rest + body.substr(0, 10));
    expect_one_picture_per_frame(3);
    slow.send_raw(body.substr(10));
    h.frames(2);
    EXPECT_EQ(first_event(slow.receive_all(), EventKind::INIT)->message.event.client_id, 2u);
}

TEST_F(RobustFixture, HalfFrameFromAPlayerStallsNobodyAndIsDropped) {
    TestClient dribbler(h.port());
    ASSERT_EQ(h.login(dribbler, "dribbler"), 2u);
    good->receive_all();
    dribbler.send_raw(std::string("\0\0\0\x40{\"kind\":1", 14)); // 64-byte body announced, 10 sent
    expect_one_picture_per_frame(10);
    EXPECT_TRUE(h.state().global.players.at(2).connected);
    ConsoleCapture console;
    advance_seconds(5.1);
    h.frames(2);
    EXPECT_FALSE(h.state().global.players.at(2).connected);
    EXPECT_TRUE(dribbler.closed_by_peer(200));
    EXPECT_EQ(count_events(good->receive_all(), EventKind::PLAYER_LEFT), 1u);
}

// Pressing every key every frame for ten seconds, a client gets a burst and then a steady share of
// the console, with one line a second counting what it left out.
TEST_F(RobustFixture, AFloodingClientsConsoleShareIsBoundedOverTime) {
    TestClient flooder(h.port());
    ASSERT_EQ(h.login(flooder, "flooder"), 2u);
    InputState every_key;
    for (auto& key : every_key.keys) key.just_pressed = true;
    ConsoleCapture console;
    const int64_t started_ns = h.clock.mono;
    constexpr int SECONDS = 10, FRAMES_A_SECOND = 60;
    for (int second = 0; second < SECONDS; ++second) {
        for (int frame = 0; frame < FRAMES_A_SECOND; ++frame) {
            flooder.send_input(every_key);
            h.frames(1);
        }
        advance_seconds(1.0);
    }
    h.frames(1);
    const size_t presses = static_cast<size_t>(SECONDS * FRAMES_A_SECOND) * LETTER_KEY_COUNT;
    EXPECT_EQ(key_presses_handled(console, 2), presses);
    // Frames sleep on the fake clock too: the share follows the time that passed.
    const size_t seconds = static_cast<size_t>((h.clock.mono - started_ns) / 1'000'000'000 + 1);
    EXPECT_LE(console.count("[SERVER] Player 2 received key: "),
              static_cast<size_t>(CONSOLE_LINES_BURST) + CONSOLE_LINES_PER_SECOND * seconds);
    EXPECT_LE(console.count("[SERVER] Player 2: "), seconds + 1);
}

TEST_F(RobustFixture, FloodsAreServedInSlicesOfMessagesAndBytes) {
    // Many small messages: a bounded number per frame, the rest in later frames.
    TestClient flooder(h.port()), heavy(h.port());
    ASSERT_EQ(h.login(flooder, "flooder"), 2u);
    ASSERT_EQ(h.login(heavy, "heavy"), 3u);
    InputState input;
    input.keys[0].just_pressed = true;
    for (int i = 0; i < 600; ++i) flooder.send_input(input);
    ConsoleCapture console;
    expect_one_picture_per_frame(1);
    // Its share of the console is bounded too: what is not shown is counted in one line.
    EXPECT_LE(console.count("[SERVER] Player 2 received key: A"), 64u);
    EXPECT_GT(key_presses_handled(console, 2), 0u);
    EXPECT_LE(key_presses_handled(console, 2), 256u);
    h.frames(4);
    advance_seconds(1.1); // the count of lines left out comes once a second
    h.frames(1);
    EXPECT_EQ(key_presses_handled(console, 2), 600u);

    // Eight maximum-size commands ("tm" and padding): a quarter megabyte a frame. The writer
    // thread blocks once the socket buffers are full, as a real flooding client would.
    std::string command = "{\"kind\":3,\"settings_command\":\"tm";
    command.append(MAX_FRAME_BODY - command.size() - 2, ' ');
    command += "\"}";
    std::thread writer([&] {
        for (int i = 0; i < 8; ++i) heavy.send_frame(command);
    });
    expect_one_picture_per_frame(4); // 1 MiB needs four frames' budgets
    EXPECT_LE(console.count("Player 3 toggled mouse pointers"), 1u);
    expect_one_picture_per_frame(28);
    writer.join();
    h.frames(4);
    EXPECT_EQ(console.count("Player 3 toggled mouse pointers"), 8u);
    EXPECT_TRUE(h.state().global.players.at(2).connected);
    EXPECT_TRUE(h.state().global.players.at(3).connected);
}

TEST_F(RobustFixture, SplitFramesOfAnHonestClientAreNeverStalled) {
    TestClient steady(h.port());
    ASSERT_EQ(h.login(steady, "steady"), 2u);
    // Each write ends 7 bytes into the next frame, as segments cut a stream on a real network:
    // no frame stays unfinished for more than one host frame.
    ClientMessage message;
    message.kind = ClientMessageKind::INPUT;
    std::string body;
    write_json(body, message);
    const uint32_t n = static_cast<uint32_t>(body.size());
    std::string frame{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                      static_cast<char>(n)};
    frame += body;
    ConsoleCapture console;
    steady.send_raw(frame + frame.substr(0, 7));
    for (int i = 0; i < 400; ++i) { // 6.4 s of frames
        h.frames(1);
        steady.send_raw(frame.substr(7) + frame.substr(0, 7));
        good->receive_all(0);
        steady.receive_all(0);
    }
    EXPECT_TRUE(h.state().global.players.at(2).connected);
    EXPECT_FALSE(console.contains("stalled"));
}

TEST_F(RobustFixture, ResetInTheMiddleOfAFrameDropsAtOnce) {
    TestClient resetting(h.port());
    ASSERT_EQ(h.login(resetting, "resetting"), 2u);
    linger hard{1, 0};
    setsockopt(resetting.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    resetting.send_raw(std::string("\0\0\0\x40{\"kind\":1", 14));
    resetting.close(); // a reset with a frame half sent: the stream cannot be framed any more
    usleep(20'000);
    h.frames(1);
    EXPECT_FALSE(h.state().global.players.at(2).connected);
}

TEST_F(RobustFixture, MisframedStreamsAreDropped) {
    TestClient huge(h.port()), empty(h.port()), garbage(h.port());
    ASSERT_EQ(h.login(huge, "huge"), 2u);
    ASSERT_EQ(h.login(empty, "empty"), 3u);
    ASSERT_EQ(h.login(garbage, "garbage"), 4u);
    ConsoleCapture console;
    huge.send_raw(std::string("\x00\x10\x00\x01", 4));
    empty.send_raw(std::string("\0\0\0\0", 4));
    garbage.send_frame("this is not json");
    expect_one_picture_per_frame(2);
    EXPECT_TRUE(console.contains("Receive error from 2: MessageTooLarge"));
    EXPECT_TRUE(console.contains("Receive error from 3: InvalidLength"));
    EXPECT_TRUE(console.contains("Receive error from 4: JsonDecodeFailed"));
    EXPECT_TRUE(console.contains("JSON unmarshal error: "));
    EXPECT_FALSE(h.state().global.players.at(2).connected);
    EXPECT_FALSE(h.state().global.players.at(3).connected);
    EXPECT_TRUE(h.state().global.players.at(4).connected); // a bad body is framed fine: read on
    EXPECT_TRUE(huge.closed_by_peer(200));
}

TEST_F(RobustFixture, NonReadingClientIsDroppedAfterTheOthersAreServed) {
    TestClient deaf(h.port(), 4096);
    ASSERT_EQ(h.login(deaf, "deaf"), 2u);
    // Make the pictures big enough to fill the socket buffers quickly.
    h.state().global.players.at(1).name = std::string(32, 'n');
    bool dropped = false;
    for (int frame = 0; frame < 5000 && !dropped; ++frame) {
        h.frames(1);
        auto messages = good->receive_all(1);
        for (size_t i = 0; i < messages.size(); ++i) {
            const ServerMessage& m = messages[i].message;
            if (m.kind != ServerMessageKind::EVENT || m.event.kind != EventKind::PLAYER_LEFT) continue;
            // This frame's picture reached the good client before the drop was announced.
            ASSERT_GT(i, 0u);
            EXPECT_EQ(messages[i - 1].message.kind, ServerMessageKind::DRAW_COMMANDS);
            dropped = true;
        }
    }
    ASSERT_TRUE(dropped);
    EXPECT_FALSE(h.state().global.players.at(2).connected);
    expect_one_picture_per_frame(3);
}

TEST_F(RobustFixture, APictureOverTheFrameLimitIsSkippedNotFatal) {
    // Thousands of listed players make the lobby's picture pass 1 MiB.
    Screen& lobby = *h.state().screen_stack.top();
    for (uint32_t id = 1000; id < 5000; ++id) {
        PlayerConnection& bot = h.state().global.players[id];
        bot.id = id;
        bot.is_bot = true;
        bot.connected = true;
        lobby.data->on_player_enter(id);
    }
    ConsoleCapture console;
    good->receive_all();
    h.frames(3);
    EXPECT_EQ(count_draws(good->receive_all(20)), 0u);
    EXPECT_EQ(console.count("over the 1048576-byte frame limit; not sent"), 1u);
    EXPECT_TRUE(h.state().global.players.at(1).connected);
    // A rebuilt lobby is a new screen, even where the allocator puts it in the old one's place.
    reset_current_screen(h.state());
    h.frames(2);
    EXPECT_EQ(console.count("over the 1048576-byte frame limit; not sent"), 2u);
    for (uint32_t id = 1000; id < 5000; ++id) lobby.data->on_player_leave(id);
    expect_one_picture_per_frame(2);
}

} // namespace
} // namespace cog::test

// The room's reports to a stand-in sidecar: ready, health beats on the room's own clock, players
// and labels, a sidecar that is slow or gone, and asking to be replaced once idle after a game.
#include "server/fleet/room_reporter.h"
#include "tests/fleet/sidecar_stub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace cog::test {
namespace {

constexpr int64_t MS = 1'000'000;

// A room driven frame by frame on a simulated clock; the sidecar calls themselves run in real time.
struct Room {
    explicit Room(uint16_t sidecar_port, int64_t idle_ms = 5000) : reporter(settings(sidecar_port, idle_ms), now) {}

    static FleetSettings settings(uint16_t port, int64_t idle_ms) {
        FleetSettings s;
        s.sidecar_port = port;
        s.idle_shutdown_ns = idle_ms * MS;
        s.call_timeout_ms = 500;
        return s;
    }
    RoomSnapshot snapshot() const { return {now, players, screen, lobby}; }
    // One frame, then lets the calls it made reach the sidecar before the next.
    void frame(int64_t ms = 16) {
        now += ms * MS;
        reporter.observe(snapshot());
        settle([&] { reporter.observe(snapshot()); }, [&] { return reporter.idle(); });
    }
    void run_for(int64_t ms) {
        for (int64_t t = 0; t < ms; t += 16) frame();
    }

    int64_t now = 5'000 * MS;
    std::vector<uint32_t> players;
    std::string screen = "LOBBY";
    bool lobby = true;
    RoomReporter reporter;
};

TEST(RoomReporter, ReadyOnceThenAHealthBeatEveryTwoSecondsOfFrames) {
    SidecarStub sidecar;
    Room room(sidecar.port());
    room.reporter.report_ready(room.now);
    room.run_for(10'000); // frames at 16 ms .. 10 000 ms: beats at 16, 2016, 4016, 6016, 8016
    EXPECT_EQ(sidecar.count("/ready"), 1u);
    EXPECT_EQ(sidecar.count("/health"), 5u);
    for (const SidecarHit& hit : sidecar.hits()) {
        EXPECT_EQ(hit.method, hit.path == "/metadata/label" ? "PUT" : "POST") << hit.path;
        EXPECT_EQ(hit.body.front(), '{') << hit.path;
    }
}

TEST(RoomReporter, ReadyIsRepeatedUntilTheSidecarTakesIt) {
    SidecarStub sidecar;
    sidecar.status = 503;
    Room room(sidecar.port());
    room.reporter.report_ready(room.now);
    room.run_for(2500); // refused at 0, asked again after 1 s and 2 s
    EXPECT_EQ(sidecar.count("/ready"), 3u);
    sidecar.status = 200;
    room.run_for(5000);
    EXPECT_EQ(sidecar.count("/ready"), 4u);
}

TEST(RoomReporter, PlayersAndScreenBecomeCallsAndLabels) {
    SidecarStub sidecar;
    Room room(sidecar.port());
    room.frame();
    room.players = {7};
    room.frame();
    room.players = {9, 7}; // any order
    room.screen = "ROLE_REVEAL";
    room.lobby = false;
    room.frame();
    room.frame(); // nothing changed: nothing sent
    room.players = {9};
    room.frame();
    EXPECT_EQ(sidecar.bodies("/alpha/player/connect"),
              (std::vector<std::string>{R"({"playerID":"7"})", R"({"playerID":"9"})"}));
    EXPECT_EQ(sidecar.bodies("/alpha/player/disconnect"), std::vector<std::string>{R"({"playerID":"7"})"});
    EXPECT_EQ(sidecar.bodies("/metadata/label"),
              (std::vector<std::string>{R"({"key":"screen","value":"LOBBY"})", R"({"key":"players","value":"0"})",
                                        R"({"key":"players","value":"1"})", R"({"key":"screen","value":"ROLE_REVEAL"})",
                                        R"({"key":"players","value":"2"})", R"({"key":"players","value":"1"})"}));
}

TEST(RoomReporter, LabelValuesAreOnesKubernetesAccepts) {
    EXPECT_EQ(label_value("ROLE_REVEAL"), "ROLE_REVEAL");
    EXPECT_EQ(label_value("_a b\"c_"), "a_b_c");
    EXPECT_EQ(label_value(std::string(80, 'x')).size(), 63u);
    EXPECT_EQ(label_value("--"), "");
}

TEST(RoomReporter, AFrameNeverWaitsForASlowOrAbsentSidecar) {
    SidecarStub slow;
    slow.reply_delay_ms = 2000; // beyond the call timeout
    for (uint16_t port : {slow.port(), closed_port()}) {
        Room room(port);
        room.reporter.report_ready(room.now);
        std::chrono::steady_clock::duration longest{};
        // 1.5 s of real frames, players coming and going throughout.
        for (int i = 0; i < 150; ++i) {
            room.now += 16 * MS;
            room.players.assign(static_cast<size_t>(i % 4), 0);
            for (size_t p = 0; p < room.players.size(); ++p) room.players[p] = static_cast<uint32_t>(p + 1);
            const auto before = std::chrono::steady_clock::now();
            room.reporter.observe(room.snapshot());
            longest = std::max(longest, std::chrono::steady_clock::now() - before);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // A blocking call would hold a frame for the sidecar's whole delay or timeout.
        EXPECT_LT(longest, std::chrono::milliseconds(250)) << "port " << port;
    }
}

TEST(RoomReporter, CallsWaitingBehindASlowSidecarArriveInOrder) {
    SidecarStub sidecar;
    sidecar.reply_delay_ms = 100; // slow, but within the call timeout
    Room room(sidecar.port());
    for (std::vector<uint32_t> players : {std::vector<uint32_t>{1}, {}, {1}}) {
        room.players = players;
        room.now += 16 * MS;
        room.reporter.observe(room.snapshot());
    }
    ASSERT_TRUE(settle([&] { room.reporter.observe(room.snapshot()); }, [&] { return room.reporter.idle(); }));
    std::vector<std::string> order;
    for (const SidecarHit& hit : sidecar.hits())
        if (hit.path.starts_with("/alpha/player/")) order.push_back(hit.path);
    EXPECT_EQ(order, (std::vector<std::string>{"/alpha/player/connect", "/alpha/player/disconnect",
                                               "/alpha/player/connect"}));
}

TEST(RoomReporter, CallsWaitingForAStuckSidecarAreBounded) {
    SidecarStub stuck;
    stuck.reply_delay_ms = 5000;
    SidecarClient client(stuck.port(), 5000);
    size_t taken = 0;
    for (uint32_t id = 1; id <= 500; ++id) taken += client.post(SidecarCall::PLAYER_CONNECT, "{}") ? 1 : 0;
    client.pump();
    EXPECT_EQ(taken, SidecarClient::MAX_QUEUED + 1); // the one in flight and those waiting behind it
}

TEST(RoomReporter, AskedToBeReplacedOnlyWhenEmptyLongEnoughAfterAGame) {
    SidecarStub sidecar;
    Room room(sidecar.port(), 5000);
    room.run_for(20'000); // a fresh room waits for its players however long it takes
    EXPECT_EQ(sidecar.count("/shutdown"), 0u);

    room.players = {1, 2};
    room.lobby = false; // a game runs
    room.run_for(1000);
    room.lobby = true; // and ends
    room.players = {};
    room.run_for(4000);
    room.players = {2}; // someone comes back: the wait starts again once he leaves
    room.frame();
    room.players = {};
    room.run_for(4900);
    EXPECT_EQ(sidecar.count("/shutdown"), 0u);
    sidecar.status = 500; // the first ask is refused and asked again a second later
    room.run_for(200);
    EXPECT_EQ(sidecar.count("/shutdown"), 1u);
    sidecar.status = 200;
    room.run_for(3000);
    EXPECT_EQ(sidecar.count("/shutdown"), 2u);
}

} // namespace
} // namespace cog::test

// The room's reports to a stand-in sidecar: ready, health beats on the room's own clock, the player
// List and labels, refusals warned of, a sidecar that is slow or gone, and asking to be replaced
// once idle after a game or allocated to nobody.
#include "server/fleet/gameserver_state.h"
#include "server/fleet/room_reporter.h"
#include "shared/log/console.h"
#include "tests/fleet/sidecar_stub.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace cog::test {
namespace {

constexpr int64_t MS = 1'000'000;
const std::string ADD = "/v1beta1/lists/players:addValue";
const std::string REMOVE = "/v1beta1/lists/players:removeValue";

// A room driven frame by frame on a simulated clock; the sidecar calls themselves run in real time.
struct Room {
    explicit Room(uint16_t sidecar_port, int64_t idle_ms = 5000, ListApi api = ListApi::BETA)
        : reporter(settings(sidecar_port, idle_ms, api), now) {}

    static FleetSettings settings(uint16_t port, int64_t idle_ms, ListApi api) {
        FleetSettings s;
        s.sidecar_port = port;
        s.list_api = api;
        s.idle_shutdown_ns = idle_ms * MS;
        s.allocated_timeout_ns = 3000 * MS;
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
        if (hit.path == "/gameserver") {
            EXPECT_EQ(hit.method, "GET");
            continue;
        }
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
    EXPECT_EQ(sidecar.bodies(ADD), (std::vector<std::string>{R"({"value":"7"})", R"({"value":"9"})"}));
    EXPECT_EQ(sidecar.bodies(REMOVE), std::vector<std::string>{R"({"value":"7"})"});
    EXPECT_EQ(sidecar.list(), std::vector<std::string>{"9"});
    EXPECT_EQ(sidecar.bodies("/metadata/label"),
              (std::vector<std::string>{R"({"key":"screen","value":"LOBBY"})", R"({"key":"players","value":"0"})",
                                        R"({"key":"players","value":"1"})", R"({"key":"screen","value":"ROLE_REVEAL"})",
                                        R"({"key":"players","value":"2"})", R"({"key":"players","value":"1"})"}));
}

TEST(RoomReporter, LabelValuesAreOnesKubernetesAcceptsAndTheStateIsReadFromTheStatus) {
    EXPECT_EQ(label_value("ROLE_REVEAL"), "ROLE_REVEAL");
    EXPECT_EQ(label_value("_a b\"c_"), "a_b_c");
    EXPECT_EQ(label_value(std::string(80, 'x')).size(), 63u);
    EXPECT_EQ(label_value("--"), "");
    EXPECT_EQ(gameserver_state(R"({"object_meta":{"labels":{"state":"x"}},"status": {"state" : "Allocated"}})"),
              "Allocated");
    EXPECT_EQ(gameserver_state(R"({"state":"Ready"})"), "");
    EXPECT_EQ(gameserver_state(R"({"status":{"state":"Rea)"), "");
    EXPECT_EQ(gameserver_state(R"({"status":{"state":"a\u001b[2J"}})"), "");
}

// Log lines written while alive.
struct LogLines {
    LogLines() {
        console_set_sink([](void* self, std::string_view line) { static_cast<LogLines*>(self)->text.append(line); }, this);
    }
    ~LogLines() { console_set_sink(nullptr, nullptr); }
    size_t count(std::string_view needle) const {
        size_t n = 0;
        for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
        return n;
    }
    std::string text;
};

std::vector<std::string> ids_text(uint32_t first, uint32_t last) {
    std::vector<std::string> ids;
    for (uint32_t id = first; id <= last; ++id) ids.push_back(std::to_string(id));
    return ids;
}

TEST(RoomReporter, TheListHoldsPlayersUpToItsCapacityAndRefusalsAreWarnedOncePerKind) {
    SidecarStub sidecar;
    sidecar.list_capacity = 3;
    LogLines log;
    Room room(sidecar.port());
    room.players = {1, 2, 3, 4};
    room.run_for(3000); // the fourth is refused, and asked again every second
    EXPECT_EQ(sidecar.list(), ids_text(1, 3));
    EXPECT_GE(sidecar.count(ADD), 6u);
    EXPECT_EQ(log.count("[FLEET] The sidecar refused the player list add call: 400"), 1u) << log.text;
    EXPECT_EQ(log.count("OUT_OF_RANGE"), 1u);
    room.players = {2, 3, 4}; // a place frees up: the waiting player takes it
    room.run_for(1500);
    EXPECT_EQ(sidecar.list(), (std::vector<std::string>{"2", "3", "4"}));

    // A sidecar without the beta List routes: every call refused, one warning with its answer.
    SidecarStub old_sidecar;
    Room old_room(old_sidecar.port(), 5000, ListApi::ALPHA);
    old_room.players = {1, 2};
    old_room.run_for(2000);
    EXPECT_EQ(old_sidecar.count("/v1alpha1/lists/players:addValue"), 4u);
    EXPECT_EQ(log.count("refused the player list add call: 404 {\"code\":5,\"message\":\"Not Found\"}"), 1u) << log.text;
}

TEST(RoomReporter, EightyFastJoinsAndLeavesEndWithTheListEqualToTheConnectedSet) {
    SidecarStub sidecar;
    sidecar.list_capacity = 100;
    sidecar.reply_delay_ms = 2; // every call costs a little: the calls of a burst pile up
    Room room(sidecar.port());
    for (uint32_t id = 1; id <= 80; ++id) {
        room.players.push_back(id);
        room.now += 16 * MS;
        room.reporter.observe(room.snapshot());
    }
    // Half of them leave as fast, while most of the joins are still waiting.
    for (uint32_t id = 1; id <= 40; ++id) {
        room.players.erase(room.players.begin());
        room.now += 16 * MS;
        room.reporter.observe(room.snapshot());
    }
    ASSERT_TRUE(settle([&] { room.frame(); }, [&] { return sidecar.list().size() == 40; },
                       std::chrono::milliseconds(10'000)));
    std::vector<std::string> listed = sidecar.list();
    std::sort(listed.begin(), listed.end(), [](const std::string& a, const std::string& b) { return std::stoul(a) < std::stoul(b); });
    EXPECT_EQ(listed, ids_text(41, 80));
    EXPECT_EQ(sidecar.bodies("/metadata/label").back(), R"({"key":"players","value":"40"})");
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
        if (hit.path.starts_with("/v1beta1/lists/")) order.push_back(hit.path);
    EXPECT_EQ(order, (std::vector<std::string>{ADD, REMOVE, ADD}));
}

TEST(RoomReporter, CallsWaitingForAStuckSidecarAreBounded) {
    SidecarStub stuck;
    stuck.reply_delay_ms = 5000;
    SidecarClient client(stuck.port(), 5000);
    size_t taken = 0;
    for (uint32_t id = 1; id <= 500; ++id) taken += client.post(SidecarCall::LIST_ADD, "{}") ? 1 : 0;
    client.pump();
    EXPECT_EQ(taken, SidecarClient::MAX_QUEUED + 1); // the one in flight and those waiting behind it
    // Health beats and state reads have lanes of their own beside the backlog, one call each.
    for (SidecarCall solo : {SidecarCall::HEALTH, SidecarCall::GAMESERVER}) {
        EXPECT_TRUE(client.post(solo, "{}")) << sidecar_call_spec(solo).name;
        EXPECT_FALSE(client.post(solo, "{}")) << sidecar_call_spec(solo).name;
    }
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

TEST(RoomReporter, AnAllocatedRoomNobodyJoinsAsksToBeReplaced) {
    SidecarStub sidecar;
    Room room(sidecar.port()); // allocated timeout 3 s
    room.run_for(5000);        // Ready: waits however long it takes
    EXPECT_EQ(room.reporter.fleet_state(), "Ready");
    sidecar.set_state("Allocated");
    room.run_for(2500);
    EXPECT_EQ(room.reporter.fleet_state(), "Allocated");
    EXPECT_EQ(sidecar.count("/shutdown"), 0u);
    room.run_for(2500);
    EXPECT_EQ(sidecar.count("/shutdown"), 1u);

    // The group came and stays in the lobby: the room is theirs. They leave without playing: the
    // wait starts from their departure.
    SidecarStub lobby;
    Room busy(lobby.port());
    lobby.set_state("Allocated");
    busy.run_for(1000);
    busy.players = {4};
    busy.run_for(6000);
    busy.players = {};
    busy.run_for(2500);
    EXPECT_EQ(lobby.count("/shutdown"), 0u);
    busy.run_for(1000);
    EXPECT_EQ(lobby.count("/shutdown"), 1u);
}

} // namespace
} // namespace cog::test

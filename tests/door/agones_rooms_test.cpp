// The door's rooms on Agones against a stand-in API server that checks each request against the
// field names of Agones' own types and answers as Kubernetes would.
#include "door/agones_json.h"
#include "door/agones_resources.h"
#include "door/agones_rooms.h"
#include "tests/door/agones_api_stub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

namespace cog::door {
namespace {

using test::AgonesApiStub;
using test::StandInGameServer;

constexpr const char* TOKEN = "token-of-the-door";

AgonesRoomsConfig config_for(const AgonesApiStub& stub) {
    const std::string token_path = testing::TempDir() + "/agones_rooms_token";
    std::ofstream(token_path) << TOKEN << "\n";
    AgonesRoomsConfig config;
    config.api.api_url = "http://127.0.0.1:" + std::to_string(stub.port());
    config.api.token_path = token_path;
    config.names.namespace_name = "games";
    config.refresh_ms = 0; // check the rooms at every poll
    return config;
}

StandInGameServer ready_server(const std::string& name, uint16_t web_port, const std::string& fleet = "cogwell") {
    StandInGameServer server;
    server.name = name;
    server.web_port = web_port;
    server.labels = {{"agones.dev/fleet", fleet}};
    return server;
}

// Polls (time moving 10 ms a round) until `done` holds or about three seconds have passed.
std::vector<RoomEvent> poll_until(AgonesRooms& rooms, int64_t& now_ms, const std::function<bool()>& done) {
    std::vector<RoomEvent> events;
    for (int round = 0; round < 300 && !done(); ++round) {
        rooms.poll(now_ms += 10, events);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return events;
}

struct Door {
    explicit Door(AgonesRoomsConfig config) : rooms(std::move(config)) {}
    AgonesRooms rooms;
    int64_t now_ms = 1'000;
    std::vector<RoomEvent> events;

    // Asks for the code as a player's link would, and waits for the answer.
    RoomLookup settle(std::string_view code) {
        rooms.look_up(code);
        RoomLookup found = rooms.find_room(code);
        for (auto& e : poll_until(rooms, now_ms, [&] { return (found = rooms.find_room(code)).state != RoomState::Starting; }))
            events.push_back(std::move(e));
        return found;
    }
};

TEST(AgonesRooms, AllocatesLabelsFindsFromAnotherDoorAndEnds) {
    AgonesApiStub stub("games", TOKEN, test::load_agones_fields(COG_AGONES_FIELDS));
    stub.add(ready_server("cogwell-a", 7101, "other-fleet"));
    stub.add(ready_server("cogwell-b", 7102));
    stub.add(ready_server("cogwell-c", 7103));
    Door first(config_for(stub)), second(config_for(stub));

    // The first door makes KXQF: a Ready GameServer of the fleet, now Allocated and labelled.
    ASSERT_EQ(first.rooms.start_room("KXQF"), RoomStartError::None);
    EXPECT_EQ(first.rooms.start_room("KXQF"), RoomStartError::CodeTaken);
    const RoomLookup made = first.settle("KXQF");
    ASSERT_EQ(made.state, RoomState::Ready);
    EXPECT_EQ(made.address.host, "127.0.0.1");
    EXPECT_EQ(made.address.port, 7102);
    ASSERT_EQ(first.events.size(), 1u);
    EXPECT_EQ(first.events[0].kind, RoomEvent::Kind::Made);
    EXPECT_EQ(stub.server("cogwell-b").state, "Allocated");
    EXPECT_EQ(stub.server("cogwell-b").labels["cogwell.dev/room"], "KXQF");
    EXPECT_EQ(stub.server("cogwell-a").state, "Ready") << "another fleet's GameServer was taken";
    EXPECT_EQ(first.rooms.counts().allocated, 1u);

    // The second door (or the first one restarted) finds it by its label, and knows no other code.
    EXPECT_EQ(second.rooms.find_room("KXQF").state, RoomState::Unknown) << "not asked of the cluster yet";
    const RoomLookup found = second.settle("KXQF");
    EXPECT_EQ(found.state, RoomState::Ready);
    EXPECT_EQ(found.address.port, 7102);
    EXPECT_EQ(second.settle("ZZZZ").state, RoomState::Unknown);
    EXPECT_EQ(second.rooms.room_count(), 0u) << "a room found is not one this door made";
    // A code another door holds is not allocated twice.
    Door third(config_for(stub));
    ASSERT_EQ(third.rooms.start_room("KXQF"), RoomStartError::None);
    const auto clash = poll_until(third.rooms, third.now_ms, [&] { return third.rooms.room_count() == 0; });
    ASSERT_EQ(clash.size(), 1u);
    EXPECT_EQ(clash[0].kind, RoomEvent::Kind::Failed);
    EXPECT_EQ(stub.server("cogwell-c").state, "Ready");

    // The room shuts itself down once empty: both doors see its code end.
    stub.set_state("cogwell-b", "Shutdown");
    for (Door* door : {&first, &second}) {
        door->events.clear();
        const auto ended = poll_until(door->rooms, door->now_ms, [&] { return door->rooms.find_room("KXQF").state != RoomState::Ready; });
        EXPECT_EQ(door->settle("KXQF").state, RoomState::Unknown) << "looked up again, it is no longer Allocated";
        ASSERT_FALSE(ended.empty());
        EXPECT_EQ(ended.back().kind, RoomEvent::Kind::Ended);
        EXPECT_EQ(ended.back().code, "KXQF");
    }
    EXPECT_EQ(stub.problems(), std::vector<std::string>{});
}

TEST(AgonesRooms, NoRoomToGiveFailsAndHoldsOffNewRooms) {
    struct Case {
        const char* what;
        int forced_status;            // every call answered so (0: as the API server would)
        int forced_allocation_status; // the allocation answered so
        uint64_t no_ready_room, failed;
    };
    for (const Case& c : {Case{"UnAllocated", 0, 0, 1, 0}, Case{"allocation refused", 0, 403, 0, 1},
                          Case{"allocation failed", 0, 500, 0, 1}, Case{"lookup refused", 403, 0, 0, 1}}) {
        SCOPED_TRACE(c.what);
        AgonesApiStub stub("games", TOKEN, test::load_agones_fields(COG_AGONES_FIELDS));
        stub.add(ready_server("cogwell-a", 7101, "other-fleet"));
        Door door(config_for(stub));
        stub.forced_status = c.forced_status;
        stub.forced_allocation_status = c.forced_allocation_status;
        ASSERT_EQ(door.rooms.start_room("KXQF"), RoomStartError::None);
        const auto events = poll_until(door.rooms, door.now_ms, [&] { return door.rooms.room_count() == 0; });
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].kind, RoomEvent::Kind::Failed);
        EXPECT_EQ(door.rooms.counts().no_ready_room, c.no_ready_room);
        EXPECT_EQ(door.rooms.counts().failed, c.failed);
        // Busy: new rooms are refused at once, then asked of the fleet again.
        EXPECT_EQ(door.rooms.start_room("ABCD"), RoomStartError::Full);
        std::vector<RoomEvent> more;
        door.rooms.poll(door.now_ms += 10'000, more);
        EXPECT_EQ(door.rooms.start_room("ABCD"), RoomStartError::None);
        if (c.forced_status == 0 && c.forced_allocation_status == 0) {
            EXPECT_EQ(stub.problems(), std::vector<std::string>{});
        }
    }
}

TEST(AgonesResources, TheDoorsAllocationIsTheManifestsAndAnswersAreReadAsAgonesWritesThem) {
    // The allocation sent is the one deploy/agones/allocation.json shows (and the manifests check).
    JsonValue sent, shown;
    std::ifstream file(COG_ALLOCATION_EXAMPLE);
    const std::string example((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    AgonesNames names;
    ASSERT_TRUE(parse_json(allocation_body(names, "KXQF"), sent));
    ASSERT_TRUE(parse_json(example, shown));
    const std::function<bool(const JsonValue&, const JsonValue&)> same = [&](const JsonValue& a, const JsonValue& b) {
        if (a.kind != b.kind || a.text != b.text || a.items.size() != b.items.size() || a.members.size() != b.members.size())
            return false;
        for (size_t i = 0; i < a.items.size(); ++i)
            if (!same(a.items[i], b.items[i])) return false;
        for (const auto& [key, value] : a.members)
            if (!b.get(key) || !same(value, *b.get(key))) return false;
        return true;
    };
    EXPECT_TRUE(same(sent, shown)) << allocation_body(names, "KXQF");

    struct Case {
        const char* answer;
        AllocationOutcome outcome;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        {R"({"status":{"state":"Allocated","gameServerName":"gs","address":"203.0.113.5","addresses":[{"type":"ExternalIP","address":"203.0.113.5"},{"type":"InternalIP","address":"10.0.0.5"}],"ports":[{"name":"game","port":7001},{"name":"web","port":7002}]}})",
         AllocationOutcome::Allocated, "10.0.0.5", 7002},
        {R"({"status":{"state":"Allocated","address":"203.0.113.5","ports":[{"name":"web","port":7002}]}})",
         AllocationOutcome::Allocated, "203.0.113.5", 7002},
        {R"({"status":{"state":"Allocated","address":"node-1.example","ports":[{"name":"web","port":7002}]}})",
         AllocationOutcome::Unreadable, "", 0},
        {R"({"status":{"state":"Allocated","address":"10.0.0.5","ports":[{"name":"game","port":7001}]}})",
         AllocationOutcome::Unreadable, "", 0},
        {R"({"status":{"state":"UnAllocated"}})", AllocationOutcome::NoReadyRoom, "", 0},
        {R"({"status":{"state":"Contention"}})", AllocationOutcome::NoReadyRoom, "", 0},
        {R"({"status":{"state":"Allocated")", AllocationOutcome::Unreadable, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        AllocatedRoom room;
        EXPECT_EQ(read_allocation(c.answer, "web", room), c.outcome);
        if (c.outcome == AllocationOutcome::Allocated) {
            EXPECT_EQ(room.address.host, c.host);
            EXPECT_EQ(room.address.port, c.port);
        }
    }
}

TEST(AgonesJson, ReadsStrictJsonAndRefusesTheRest) {
    JsonValue value;
    EXPECT_TRUE(parse_json(R"( {"a":[1,-2.5e3,true,null,"x\u00e9\ud83d\ude00\n"],"b":{}} )", value));
    EXPECT_EQ(value.get("a")->items[4].text, "x\xc3\xa9\xf0\x9f\x98\x80\n");
    EXPECT_EQ(value.get("a")->items[1].number, -2500);
    const std::string deep(65, '[');
    for (const std::string& bad : {std::string("{\"a\":1,}"), std::string("[01]"), std::string("\"\\ud800\""),
                                  std::string("{\"a\" 1}"), std::string("[1] 2"), std::string("\"\x01\""),
                                  std::string("tru"), deep + std::string(65, ']')}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse_json(bad, value));
    }
    EXPECT_TRUE(parse_json(std::string(64, '[') + std::string(64, ']'), value));
    EXPECT_EQ(json_quoted("a\"b\\\n"), "\"a\\\"b\\\\\\u000a\"");
}

} // namespace
} // namespace cog::door

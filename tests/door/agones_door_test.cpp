// The real door with --rooms agones against the stand-in API server: rooms made from the fleet,
// found by a second door, and refused with a retry time once the fleet has no Ready room.
#include "tests/door/agones_api_stub.h"
#include "tests/door/door_harness.h"
#include "tests/support/scrape.h"

#include <gtest/gtest.h>

#include <fstream>

namespace cog::test {
namespace {

TEST(AgonesDoor, MakesRoomsFromTheFleetFindsThemFromAnotherDoorAndSaysWhenAllAreBusy) {
    AgonesApiStub stub("games", "door-token", load_agones_fields(COG_AGONES_FIELDS));
    StandInGameServer server;
    server.name = "cogwell-a";
    server.web_port = 7102;
    server.labels = {{"agones.dev/fleet", "cogwell"}};
    stub.add(server);
    const std::string token_path = testing::TempDir() + "/agones_door_token";
    std::ofstream(token_path) << "door-token\n";
    const std::vector<std::string> options = {"--rooms", "agones", "--k8s-api", "http://127.0.0.1:" + std::to_string(stub.port()),
                                              "--k8s-token", token_path, "--namespace", "games", "--rooms-without-proxy-header"};
    const uint16_t metrics_port = free_port();
    std::vector<std::string> metered = options;
    metered.insert(metered.end(), {"--metrics-port", std::to_string(metrics_port)});
    DoorProcess first(options), second(metered);

    const HttpAnswer made = http_request(first.port(), "POST", "/rooms");
    ASSERT_EQ(made.status, 201) << made.body << first.output();
    const std::string code = json_string(made.body, "code");
    EXPECT_EQ(stub.server("cogwell-a").labels["cogwell.dev/room"], code);
    // Another replica (or this one restarted) knows the code from the GameServer's label.
    EXPECT_EQ(http_request(second.port(), "GET", "/rooms/" + code).status, 200) << second.output();
    EXPECT_EQ(http_request(second.port(), "GET", "/rooms/ZZZZ").status, 404);

    // The fleet's only room is taken: the next group is told to come back.
    const HttpAnswer busy = http_request(second.port(), "POST", "/rooms");
    EXPECT_EQ(busy.status, 503);
    EXPECT_NE(busy.head.find("Retry-After: "), std::string::npos) << busy.head;
    EXPECT_NE(busy.body.find("All rooms are busy — try again in a minute"), std::string::npos) << busy.body;
    // Its metrics say so (published after the round that answered: scraped until they do).
    std::map<std::string, double> seen;
    for (int i = 0; i < 100 && seen["cogwell_door_refusals_total{reason=\"rooms_busy\"}"] == 0; ++i)
        seen = scrape_samples(http_request(metrics_port, "GET", "/metrics").body);
    EXPECT_EQ(seen["cogwell_door_agones_allocations_total{outcome=\"no_ready_room\"}"], 1) << second.output();
    EXPECT_EQ(seen["cogwell_door_agones_allocations_total{outcome=\"allocated\"}"], 0);
    EXPECT_EQ(seen["cogwell_door_refusals_total{reason=\"rooms_busy\"}"], 1);
    EXPECT_EQ(stub.problems(), std::vector<std::string>{});
}

} // namespace
} // namespace cog::test

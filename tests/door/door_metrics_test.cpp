// The real door's metrics port: what players do shows in its next scrapes (a room made, a
// WebSocket passed through and its bytes, a refusal), and Prometheus' own checker reads a scrape.
#include "tests/door/door_harness.h"
#include "tests/support/scrape.h"
#include "tests/ws_client/ws_client.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <unistd.h>

namespace cog::test {
namespace {

struct MeteredDoor {
    uint16_t metrics_port = free_port();
    DoorProcess door{{"--host-binary", COG_TEST_ROOM, "--metrics-port", std::to_string(metrics_port)}};

    std::string scrape_body() const { return http_request(metrics_port, "GET", "/metrics").body; }

    std::map<std::string, double> scrape() const { return scrape_samples(scrape_body()); }

    // How far `series` moved from `before`: scraped again until it did, for at most 2 s (the
    // door publishes after each round, which may end just after its answer went out).
    double moved(const std::string& series, double before) const {
        double now = before;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while ((now = scrape()[series]) == before && std::chrono::steady_clock::now() < until) usleep(10'000);
        return now - before;
    }
};

TEST(DoorMetrics, WhatPlayersDoShowsInTheNextScrapes) {
    MeteredDoor m;
    ASSERT_NE(m.door.port(), 0) << m.door.output();
    const uint16_t port = m.door.port();
    std::string code;
    std::unique_ptr<WsClient> player;
    struct Step {
        const char* what;
        std::string series;
        double least, most;
        std::function<void()> play;
    };
    const Step steps[] = {
        {"a room made", "cogwell_door_rooms_made_total", 1, 1,
         [&] { code = json_string(http_request(port, "POST", "/rooms").body, "code"); }},
        {"its making timed", "cogwell_door_room_allocation_seconds_count", 1, 1,
         [&] { http_request(port, "POST", "/rooms"); }},
        {"a player passed through to it", "cogwell_door_proxied_connections_total", 1, 1,
         [&] {
             player = std::make_unique<WsClient>(port, true, "/r/" + code + "/play");
             EXPECT_TRUE(player->wait_open(5000));
         }},
        {"the room's bytes to the player", "cogwell_door_proxied_bytes_total{direction=\"to_player\"}", 1, 1e12,
         [&] { player->receive(20); }},
        {"the player's bytes to the room", "cogwell_door_proxied_bytes_total{direction=\"to_room\"}", 6, 1e12,
         [&] {
             player->send_text("hello");
             player->flush();
         }},
        {"a request the door does not serve", "cogwell_door_refusals_total{reason=\"bad_request\"}", 1, 1,
         [&] { EXPECT_EQ(http_request(port, "BREW", "/").status, 405); }},
    };
    for (const Step& step : steps) {
        const std::map<std::string, double> before = m.scrape();
        ASSERT_TRUE(before.contains(step.series)) << step.series;
        step.play();
        const double moved = m.moved(step.series, before.at(step.series));
        EXPECT_GE(moved, step.least) << step.what << ": " << step.series;
        EXPECT_LE(moved, step.most) << step.what << ": " << step.series;
    }
    EXPECT_EQ(m.scrape().at("cogwell_door_proxied_connections"), 1);
    player.reset();
    EXPECT_EQ(m.moved("cogwell_door_proxied_connections", 1), -1);
}

// Prometheus' own checker on a scrape of a door that has made a room.
TEST(DoorMetrics, ScrapePassesPromtool) {
    MeteredDoor m;
    ASSERT_NE(m.door.port(), 0) << m.door.output();
    ASSERT_EQ(http_request(m.door.port(), "POST", "/rooms").status, 201);
    const std::string body = m.scrape_body();
    ASSERT_NE(body.find("# TYPE cogwell_door_room_allocation_seconds histogram"), std::string::npos) << body;
    const PromtoolVerdict verdict = promtool_check_metrics(body);
    EXPECT_EQ(verdict.status, 0) << "promtool (from Debian's prometheus package) says:\n" << verdict.said << "\non:\n" << body;
}

} // namespace
} // namespace cog::test

// The host run by the fleet manager: what a stand-in sidecar hears from a real host over a game
// played by a real client, and that a host not asked to report stays silent.
#include "tests/fleet/sidecar_stub.h"
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace cog::test {
namespace {

const std::string ADD = "/v1beta1/lists/players:addValue";
const std::string REMOVE = "/v1beta1/lists/players:removeValue";

void report_to(HostHarness& h, uint16_t sidecar_port, bool agones) {
    HostConfig config;
    config.port = 0;
    config.clock = &h.clock;
    config.random = &h.random;
    config.open_window = false;
    config.stop_requested = &h.stop;
    config.agones = agones;
    config.agones_port = sidecar_port;
    config.idle_shutdown_s = 2;
    config.allocated_timeout_s = 2;
    h.host = std::make_unique<Host>(config);
}

bool has_label(SidecarStub& sidecar, const std::string& key, const std::string& value) {
    const std::string body = R"({"key":")" + key + R"(","value":")" + value + R"("})";
    for (const std::string& b : sidecar.bodies("/metadata/label"))
        if (b == body) return true;
    return false;
}

TEST(FleetReporting, AGamePlayedAndLeftEndsWithTheRoomAskingToBeReplaced) {
    SidecarStub sidecar;
    HostHarness h;
    report_to(h, sidecar.port(), true);
    ASSERT_TRUE(h.start());
    auto frame = [&] { h.frames(1); };
    ASSERT_TRUE(settle(frame, [&] { return sidecar.count("/ready") == 1 && sidecar.count("/health") >= 1; }));

    TestClient client(h.port());
    const uint32_t id = h.login(client, "Ann");
    ASSERT_NE(id, 0u);
    const std::string player = R"({"value":")" + std::to_string(id) + R"("})";
    ASSERT_TRUE(settle(frame, [&] { return has_label(sidecar, "players", "1"); }));
    ASSERT_TRUE(settle(frame, [&] { return sidecar.list().size() == 1; }));
    EXPECT_EQ(sidecar.bodies(ADD), std::vector<std::string>{player});
    EXPECT_EQ(sidecar.list(), std::vector<std::string>{std::to_string(id)});

    client.send_command("push typewriter");
    ASSERT_TRUE(settle(frame, [&] { return has_label(sidecar, "screen", "TYPEWRITER"); }));
    const int64_t left_at = h.clock.mono;
    client.close();
    ASSERT_TRUE(settle(frame, [&] { return sidecar.count(REMOVE) == 1; }));
    EXPECT_EQ(sidecar.bodies(REMOVE), std::vector<std::string>{player});
    EXPECT_TRUE(sidecar.list().empty());
    EXPECT_EQ(sidecar.count("/shutdown"), 0u);
    // Two seconds of the host's own clock later, the emptied room asks to go.
    ASSERT_TRUE(settle(frame, [&] { return sidecar.count("/shutdown") == 1; }, std::chrono::milliseconds(5000)));
    EXPECT_GE(h.clock.mono - left_at, 2'000'000'000);
    EXPECT_EQ(sidecar.count("/ready"), 1u);
}

TEST(FleetReporting, ARoomAllocatedToNobodyAsksToBeReplacedAndShowsItsState) {
    SidecarStub sidecar;
    sidecar.set_state("Allocated");
    HostHarness h;
    report_to(h, sidecar.port(), true);
    ASSERT_TRUE(h.start());
    auto frame = [&] { h.frames(1); };
    ASSERT_TRUE(settle(frame, [&] { return sidecar.count("/gameserver") >= 1; }));
    const int64_t allocated_at = h.clock.mono;
    ASSERT_TRUE(settle(frame, [&] { return sidecar.count("/shutdown") == 1; }, std::chrono::milliseconds(5000)));
    EXPECT_GE(h.clock.mono - allocated_at, 2'000'000'000);
}

TEST(FleetReporting, AHostNotRunByTheFleetSendsNothing) {
    SidecarStub sidecar;
    HostHarness h;
    report_to(h, sidecar.port(), false);
    ASSERT_TRUE(h.start());
    TestClient client(h.port());
    ASSERT_NE(h.login(client, "Ann"), 0u);
    for (int i = 0; i < 20; ++i) {
        h.frames(10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(sidecar.hits().empty());
}

} // namespace
} // namespace cog::test

// The lobby driven by real clients: readying up, the countdown, and frame time reaching the screen.
#include "tests/host/host_harness.h"

#include "server/screens/lobby/lobby_state.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

LobbyState& lobby(HostHarness& h) { return static_cast<LobbyState&>(*h.state().screen_stack.entries[0].data); }

TEST(LobbyFlow, HoldingSpaceStartsTheCrawlAfterTheCountdown) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient client(h.port());
    ASSERT_EQ(h.login(client, "solo"), 1u);
    InputState space;
    space.space = true;
    client.send_input(space);
    h.frames(2);
    EXPECT_FALSE(lobby(h).ready_players.at(1)); // too early: the lobby ignores SPACE for 2 s

    ConsoleCapture console;
    ASSERT_TRUE(h.frames_until([&] { return lobby(h).time_elapsed >= 2.0f; }, 200));
    client.send_input(space);
    h.frames(2);
    EXPECT_TRUE(lobby(h).ready_players.at(1));
    EXPECT_TRUE(console.contains("All players ready, starting countdown"));
    // Each frame's dt is the paced 16 ms, so three seconds take about 188 frames.
    int frames = 0;
    while (h.state().screen_stack.count == 1 && frames < 400) {
        h.frames(1);
        ++frames;
    }
    EXPECT_EQ(h.state().screen_stack.top()->id, ScreenId::CRAWL);
    EXPECT_NEAR(frames, 3.0 / 0.016, 3);
    EXPECT_TRUE(console.contains("Starting game with 1 players"));
}

TEST(LobbyFlow, AJoinDuringTheCountdownCancelsIt) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient first(h.port());
    ASSERT_EQ(h.login(first, "first"), 1u);
    h.frames_until([&] { return lobby(h).time_elapsed >= 2.0f; }, 200);
    InputState space;
    space.space = true;
    first.send_input(space);
    h.frames(2);
    ASSERT_TRUE(lobby(h).countdown_active);
    TestClient second(h.port());
    ASSERT_EQ(h.login(second, "second"), 2u);
    h.frames(1);
    EXPECT_FALSE(lobby(h).countdown_active);
    EXPECT_TRUE(lobby(h).ready_players.at(1));
    EXPECT_FALSE(lobby(h).ready_players.at(2));
}

} // namespace
} // namespace cog::test

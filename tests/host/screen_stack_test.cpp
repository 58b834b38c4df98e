// Stack operations: capacity, the last screen, popping back, and reset, with their music stops.
#include "tests/host/host_harness.h"

#include "server/main/frame.h"
#include "server/main/screen_stack.h"
#include "server/screens/game_select/game_select_state.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

struct StackFixture : ::testing::Test {
    HostHarness h;
    std::unique_ptr<TestClient> listener; // a connected human, to count STOP_MUSIC
    void SetUp() override {
        ASSERT_TRUE(h.start());
        listener = std::make_unique<TestClient>(h.port());
        ASSERT_EQ(h.login(*listener, "ear"), 1u);
        listener->receive_all();
    }
    size_t music_stops() { return count_events(listener->receive_all(), EventKind::STOP_MUSIC); }
    ScreenStack& stack() { return h.state().screen_stack; }
};

TEST_F(StackFixture, SeventeenthPushOverflowsWithoutSideEffects) {
    for (int i = 1; i < SCREEN_STACK_CAPACITY; ++i) push_screen(h.state(), ScreenId::CRAWL);
    EXPECT_EQ(stack().count, 16);
    EXPECT_EQ(music_stops(), 15u);
    ConsoleCapture console;
    push_screen(h.state(), ScreenId::METRO);
    EXPECT_TRUE(console.contains("Screen stack overflow!"));
    EXPECT_EQ(stack().count, 16);
    EXPECT_EQ(stack().top()->id, ScreenId::CRAWL);
    EXPECT_EQ(music_stops(), 0u);
}

TEST_F(StackFixture, TheLastScreenCannotBePopped) {
    ConsoleCapture console;
    pop_screen(h.state());
    EXPECT_TRUE(console.contains("Cannot pop the last screen!"));
    EXPECT_EQ(stack().count, 1);
    EXPECT_EQ(music_stops(), 0u);
}

TEST_F(StackFixture, PopToStopsAtTheTargetOrTheBottom) {
    push_screen(h.state(), ScreenId::GAME_SELECT);
    push_screen(h.state(), ScreenId::METRO);
    music_stops();
    pop_to_screen(h.state(), ScreenId::GAME_SELECT);
    EXPECT_EQ(stack().count, 2);
    EXPECT_EQ(music_stops(), 1u);

    ConsoleCapture console;
    pop_to_screen(h.state(), ScreenId::LOBBY);
    pop_to_screen(h.state(), ScreenId::LOBBY); // already on top: nothing popped, music still stopped
    EXPECT_EQ(stack().count, 1);
    EXPECT_EQ(stack().top()->id, ScreenId::LOBBY);
    EXPECT_EQ(music_stops(), 2u);
    EXPECT_FALSE(console.contains("Popping screen")); // popping back writes no log line

    push_screen(h.state(), ScreenId::CRAWL);
    pop_to_screen(h.state(), ScreenId::END); // not on the stack: down to the bottom screen
    EXPECT_EQ(stack().count, 1);
}

TEST_F(StackFixture, PushAndPopLogDepths) {
    ConsoleCapture console;
    push_screen(h.state(), ScreenId::ROLE_REVEAL);
    EXPECT_TRUE(console.contains("Pushing screen: ROLE_REVEAL (stack depth: 1 -> 2)"));
    pop_screen(h.state());
    EXPECT_TRUE(console.contains("Popping screen (stack depth: 2 -> 1)"));
    EXPECT_EQ(music_stops(), 2u);
}

TEST_F(StackFixture, ResetRebuildsTheTopInPlace) {
    push_screen(h.state(), ScreenId::GAME_SELECT);
    // The game select's clock counts from its creation and nothing but a new screen restarts it,
    // so it tells the new screen from the old even when both take the same memory.
    static_cast<GameSelectState&>(*stack().top()->data).elapsed = 5.0f;
    music_stops();
    ConsoleCapture console;
    reset_current_screen(h.state());
    EXPECT_TRUE(console.contains("Resetting current screen"));
    EXPECT_EQ(stack().count, 2);
    EXPECT_EQ(stack().top()->id, ScreenId::GAME_SELECT);
    EXPECT_EQ(static_cast<const GameSelectState&>(*stack().top()->data).elapsed, 0.0f);
    EXPECT_NE(stack().top()->data->global, nullptr); // init ran
    EXPECT_FALSE(console.contains("[GAME_SELECT mount]")); // mount did not
    EXPECT_EQ(music_stops(), 1u);
}

TEST(CreateScreen, OutOfRangeIdBuildsALobby) {
    SeededRandom random(1);
    Screen screen = create_screen(static_cast<ScreenId>(9), random);
    EXPECT_EQ(screen.id, ScreenId::LOBBY);
    ASSERT_NE(screen.data, nullptr);
    EXPECT_EQ(create_screen(ScreenId::METRO, random).id, ScreenId::METRO);
}

} // namespace
} // namespace cog::test

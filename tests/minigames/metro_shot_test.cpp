// Metro shot: the rotated hit test, when the Overseer may shoot, and the verdicts.
#include "server/screens/metro/metro_aim.h"
#include "tests/minigames/metro_table.h"

#include <cmath>
#include <gtest/gtest.h>

namespace cog::test {
namespace {

TEST(MetroAim, TheHitBoxStandsOnTheMaskAndTurnsWithThePassenger) {
    metro::Passenger upright;
    EXPECT_TRUE(metro::passenger_hit(upright, 240, 400));   // d = (0, -65)
    EXPECT_FALSE(metro::passenger_hit(upright, 240, 200));  // ly = -265
    EXPECT_TRUE(metro::passenger_hit(upright, 300, 225));   // corner, edges included
    EXPECT_FALSE(metro::passenger_hit(upright, 301, 400));
    EXPECT_TRUE(metro::passenger_hit({3, true, 0, 0}, 600, 300)); // slot 3 stands at x = 600

    metro::Passenger tilted{0, false, 45, 0};
    const float a = 45 * 3.14159265f / 180;
    // 150 px up the tilted passenger's own axis, from its swung mask.
    float x = 240 + 75 * std::sin(a) + 150 * std::sin(a), y = 465 + 75 * (1 - std::cos(a)) - 150 * std::cos(a);
    EXPECT_TRUE(metro::passenger_hit(tilted, x, y));
    EXPECT_FALSE(metro::passenger_hit(upright, x, y));
    EXPECT_FALSE(metro::passenger_hit(tilted, 240, 240)); // where its head was when upright
}

struct MetroShotTest : ::testing::Test {
    MetroTable t;
    metro::MetroState& m = t.start();
};

TEST_F(MetroShotTest, OnlyTheBriefedOverseerShootsDuringTheRide) {
    m.update(0.5f);
    t.click(240, 400); // briefing still running
    t.click(240, 400);
    EXPECT_EQ(m.phase, metro::INTRO);
    InputState press;
    press.mouse_left = true;
    t.send(MetroTable::ANN, press); // masked clicks do nothing
    EXPECT_FALSE(m.shot_fired);
    t.finish_briefing();
    ASSERT_EQ(m.phase, metro::GAMEPLAY_HIDDEN);
    t.world.global.players[MetroTable::ANN].is_dead = true; // not drawn, so not a target
    t.click(240, 400);
    EXPECT_FALSE(m.shot_fired);
    EXPECT_TRUE(t.console.contains("[METRO] COP click - phase: GAMEPLAY_HIDDEN mouse: 240 400\n"));
    t.click(360, 400);
    EXPECT_EQ(m.phase, metro::SHOOTING);
    EXPECT_EQ(m.shot_player_id, MetroTable::BOB);
    EXPECT_TRUE(t.console.contains("[METRO] Shooting passenger: 3\n"));
    t.hold(MetroTable::BOT, true, false); // arrows are no longer recorded
    EXPECT_FALSE(m.held_keys.contains(MetroTable::BOT));
}

TEST_F(MetroShotTest, ShootingAHumanMarksHimDeadAfterEightSeconds) {
    t.finish_briefing();
    t.click(360, 400);
    ASSERT_TRUE(m.shot_fired);
    EXPECT_FALSE(m.shot_was_bot);
    EXPECT_EQ(t.world.music_stops, 1);
    ASSERT_EQ(t.world.sounds.size(), 3u);
    EXPECT_EQ(t.world.sounds.back().id, SoundId::SFX_GUNSHOT);
    int steps = 0;
    ScreenTransition end;
    while (steps < 40 && end.kind == TransitionKind::NONE) {
        end = m.update(0.5f);
        ++steps;
    }
    EXPECT_EQ(steps, 16);
    EXPECT_EQ(end.screen, ScreenId::GAME_SELECT);
    EXPECT_TRUE(t.world.global.players[MetroTable::BOB].is_dead);
    EXPECT_TRUE(t.console.contains("[METRO] Player 3 marked as dead\n"));
}

TEST_F(MetroShotTest, ShootingAFillerRevealsARobotAndMarksNobody) {
    t.finish_briefing();
    t.click(240 + 120 * 5, 400); // filler 1002
    ASSERT_EQ(m.shot_player_id, 1002u);
    EXPECT_TRUE(m.shot_was_bot);
    m.update(3.0f);
    EXPECT_EQ(m.shot_stage, ShootingPhase::REVEAL_RESULT);
    EXPECT_EQ(m.update(5.0f).kind, TransitionKind::PUSH);
    for (const auto& entry : t.world.global.players) EXPECT_FALSE(entry.second.is_dead);
    EXPECT_FALSE(t.console.contains("marked as dead"));
}

} // namespace
} // namespace cog::test

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

TEST(MetroShot, OnlyTheBriefedOverseerShootsAndAFillerIsARobot) {
    MetroTable t;
    metro::MetroState& m = t.start();
    m.update(0.5f);
    t.click(240, 400); // briefing still running
    InputState press;
    press.mouse_left = true;
    t.send(MetroTable::ANN, press); // masked clicks do nothing
    EXPECT_FALSE(m.shot_fired);
    t.finish_briefing();
    t.world.global.players[MetroTable::ANN].is_dead = true; // not drawn, so not a target
    t.click(240, 400);
    EXPECT_FALSE(m.shot_fired);
    EXPECT_TRUE(t.console.contains("[METRO] COP click - phase: GAMEPLAY_HIDDEN mouse: 240 400\n"));
    t.click(240 + 120 * 5, 400); // filler 1002
    ASSERT_EQ(m.phase, metro::SHOOTING);
    EXPECT_TRUE(t.console.contains("[METRO] Shooting passenger: 1002\n"));
    EXPECT_TRUE(m.shot_was_bot);
    t.hold(MetroTable::BOB, true, false); // arrows are no longer recorded
    EXPECT_FALSE(m.held_keys.contains(MetroTable::BOB));
    m.update(3.0f);
    EXPECT_EQ(m.shot_stage, ShootingPhase::REVEAL_RESULT);
    EXPECT_EQ(m.update(5.0f).screen, ScreenId::GAME_SELECT);
    EXPECT_FALSE(t.world.global.players[MetroTable::BOB].is_dead);
    EXPECT_FALSE(t.console.contains("marked as dead"));
}

TEST(MetroShot, AShotHumanIsMarkedDeadEightSecondsLater) {
    MetroTable t;
    metro::MetroState& m = t.start();
    t.finish_briefing();
    t.click(360, 400);
    EXPECT_FALSE(m.shot_was_bot);
    EXPECT_EQ(t.world.music_stops, 1);
    EXPECT_EQ(t.world.sounds.back().id, SoundId::SFX_GUNSHOT);
    int steps = 1;
    while (steps < 40 && m.update(0.5f).kind == TransitionKind::NONE) ++steps;
    EXPECT_EQ(steps, 16);
    EXPECT_TRUE(t.world.global.players[MetroTable::BOB].is_dead);
    EXPECT_TRUE(t.console.contains("[METRO] Player 3 marked as dead\n"));
}

} // namespace
} // namespace cog::test

// Door memorization judgement: the Overseer's click, the shot and its verdict, and the game's end.
#include "tests/minigames/doors_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

using namespace doors;

struct DoorsJudgement : ::testing::Test {
    DoorsTable t;
    std::unique_ptr<DoorsState> d;
    void SetUp() override {
        t.world.global.players[OTHER_HUMAN_ID].is_dead = true; // shot in an earlier minigame
        d = t.start_doors();
        ASSERT_TRUE(t.run_to_phase(*d, JUDGEMENT));
    }
    void click(float x, float y) {
        t.send(*d, COP_ID, mouse(x, y, true));
        t.send(*d, COP_ID, mouse(x, y, false));
    }
};

TEST_F(DoorsJudgement, AClickInsideAFigureShootsItAndOneAboveOrOffScreenDoesNot) {
    Position human = get_player_position(*d, HUMAN_ID);
    click(human.x + 10, human.y - 10);
    EXPECT_EQ(d->phase, JUDGEMENT);
    // The dead player still waits in the queue, off screen: he cannot be shot there.
    Position dead = get_player_position(*d, OTHER_HUMAN_ID);
    click(dead.x + 10, dead.y + 10);
    EXPECT_EQ(d->phase, JUDGEMENT);
    click(human.x + 10, human.y + 10);
    EXPECT_EQ(d->phase, SHOOTING);
    EXPECT_EQ(d->shot_player_id, HUMAN_ID);
    EXPECT_FALSE(d->shot_was_bot);
    // One shot: a click on a robot while it is fired re-aims nothing.
    Position robot = get_player_position(*d, 9);
    click(robot.x + 190, robot.y + 100);
    EXPECT_EQ(d->shot_player_id, HUMAN_ID);
    EXPECT_FALSE(d->shot_was_bot);
}

TEST_F(DoorsJudgement, ShootingAHumanMarksHimDeadAfterEightSecondsWithoutAnySound) {
    Position human = get_player_position(*d, HUMAN_ID);
    click(human.x + 10, human.y + 10);
    RunResult result = run_until_transition(*d, 0.5f, 40);
    EXPECT_EQ(result.steps, 16);
    EXPECT_EQ(result.transition.screen, ScreenId::GAME_SELECT);
    EXPECT_TRUE(t.world.global.players[HUMAN_ID].is_dead);
    EXPECT_TRUE(t.console.contains("[DOORS] Player 2 marked as dead\n"));
    EXPECT_TRUE(t.world.sounds.empty() && t.world.music_stops == 0);
}

TEST_F(DoorsJudgement, ShootingARobotKillsNobody) {
    Position robot = get_player_position(*d, 9);
    click(robot.x + 190, robot.y + 100); // right of every figure that stands before it
    ASSERT_EQ(d->shot_player_id, 9u);
    EXPECT_TRUE(d->shot_was_bot);
    EXPECT_EQ(run_until_transition(*d, 0.5f, 40).transition.kind, TransitionKind::PUSH);
    EXPECT_FALSE(t.world.global.players[9].is_dead);
    EXPECT_FALSE(t.console.contains("marked as dead"));
}

TEST_F(DoorsJudgement, WithoutAClickTheGameIsOverAfterSevenAndAHalfSecondsThenGameSelectOnce) {
    t.send(*d, COP_ID, mouse(0, 0, true)); // a click on nothing changes nothing
    int judgement_steps = 0;
    while (d->phase == JUDGEMENT && judgement_steps < 1000) {
        d->update(DOORS_DT);
        ++judgement_steps;
    }
    EXPECT_EQ(d->phase, GAME_OVER);
    EXPECT_NEAR(judgement_steps * DOORS_DT, 7.5f, 3 * DOORS_DT);
    Position human = get_player_position(*d, HUMAN_ID);
    t.send(*d, COP_ID, mouse(0, 0, false));
    click(human.x + 10, human.y + 10); // too late: nobody is shot after the game
    EXPECT_EQ(d->phase, GAME_OVER);
    EXPECT_EQ(d->shot_player_id, 0u);
    RunResult over = run_until_transition(*d, DOORS_DT, 1000);
    EXPECT_NEAR(over.steps * DOORS_DT, 3.0f, 2 * DOORS_DT);
    EXPECT_EQ(over.transition.kind, TransitionKind::PUSH);
    EXPECT_EQ(over.transition.screen, ScreenId::GAME_SELECT);
    EXPECT_EQ(d->update(DOORS_DT).kind, TransitionKind::NONE); // a refused push is not repeated
}

} // namespace
} // namespace cog::test

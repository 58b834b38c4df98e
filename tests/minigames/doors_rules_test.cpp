// Door memorization rules: seating, the secret order, presses, robots, turns, walks and finishing.
#include "tests/minigames/doors_table.h"

#include <gtest/gtest.h>

#include <set>

namespace cog::test {
namespace {

using namespace doors;

TEST(DoorsSeating, LeadRobotsStandAtCellZeroEveryoneElseQueuesAndTheOverseerIsNeverSeated) {
    DoorsTable t;
    auto d = t.start_doors();
    EXPECT_EQ(d->players.size(), 8u); // never the Overseer
    EXPECT_EQ(d->players[5].stage, 0); // odd ids walk in row 0
    // Humans and robots queue alike, in seat order (here, with no seats dealt, by id).
    EXPECT_EQ(d->row_queues[0], (std::vector<uint32_t>{3, 7, 9}));
    EXPECT_EQ(d->row_queues[1], (std::vector<uint32_t>{2, 6, 8}));
    d->players[5].hand_pos = 0.7f;
    d->on_player_enter(5); // already seated: nothing changes
    d->on_player_enter(COP_ID);
    EXPECT_FLOAT_EQ(d->players[5].hand_pos, 0.7f);
    EXPECT_FALSE(d->players.contains(COP_ID));
}

TEST(DoorsSequence, SwapsTheLastEntryThenTheMiddleOneAndReachesEveryOrder) {
    DoorsTable t;
    ScriptedRandom scripted;
    scripted.queue_uniform(0.0);  // j = 0: (2, 1, 0)
    scripted.queue_uniform(0.0);  // j = 0: (1, 2, 0)
    DoorsState d;
    choose_sequence(d, scripted);
    EXPECT_EQ(d.sequence, (std::array<int64_t, 3>{1, 2, 0}));
    std::set<std::array<int64_t, 3>> seen;
    for (int i = 0; i < 200; ++i) {
        choose_sequence(d, t.world.random);
        seen.insert(d.sequence);
    }
    EXPECT_EQ(seen.size(), 6u);
}

TEST(DoorsButtons, HandsRoundHalfAwayFromZeroWithinTheThreeButtons) {
    EXPECT_EQ(button_under_hand(0.5f), 1);
    EXPECT_EQ(button_under_hand(1.5f), 2);
    EXPECT_EQ(button_under_hand(2.286f), 2); // a robot's turning point
    EXPECT_EQ(button_under_hand(-0.2f), 0);
}

// Row 0 without robots: human 3 is the first of his row.
TEST(DoorsHumanRow, SweepsInGameStartPressesOnlyInActiveAndAWrongPressStopsTheHand) {
    DoorsTable t;
    for (uint32_t id : {5u, 7u, 9u}) t.world.global.players[id].connected = false;
    auto d = t.start_doors();
    d->sequence = {2, 0, 1};
    DoorsPlayer& human = d->players[OTHER_HUMAN_ID];
    run_steps(*d, DOORS_DT, 110); // GAME_START runs from the 100th update on: 11 updates
    EXPECT_NEAR(d->players[4].start_delay, 3 - 2 * 11 * DOORS_DT, 1e-4); // robots at double rate
    EXPECT_EQ(human.stage, 0);
    EXPECT_NE(human.hand_pos, 1.0f);
    t.send(*d, OTHER_HUMAN_ID, space_down());
    EXPECT_FALSE(human.has_pressed);

    ASSERT_TRUE(t.run_to_phase(*d, ACTIVE));
    human.hand_pos = 1.4f; // button 1; cell 0 wants 2
    t.send(*d, OTHER_HUMAN_ID, space_down());
    EXPECT_EQ(human.pressed_button, 1);
    EXPECT_FALSE(human.is_correct);
    t.send(*d, OTHER_HUMAN_ID, InputState{});
    run_steps(*d, DOORS_DT, 5); // 0.25 s: still stopped
    EXPECT_FLOAT_EQ(human.hand_pos, 1.4f);
    run_steps(*d, DOORS_DT, 3);
    EXPECT_GT(human.hand_pos, 1.4f);

    human.hand_pos = 1.6f;
    t.send(*d, OTHER_HUMAN_ID, space_down());
    EXPECT_TRUE(human.is_correct);
    human.has_pressed = false; // as if the press had ended, before the walk starts
    human.hand_pos = 0.2f;
    t.send(*d, OTHER_HUMAN_ID, space_down());
    EXPECT_EQ(human.pressed_button, 0);
    EXPECT_TRUE(human.is_correct); // a wrong press never undoes a right one
}

TEST(DoorsRobots, AnAlignmentShorterThanTheReactionTimeDoesNotPressAndTheTimerIsDrawnAgain) {
    DoorsTable t;
    auto d = t.start_doors();
    ScriptedRandom scripted;
    scripted.queue_uniform(0.99);          // 0.2975 s
    scripted.queue_uniform(0.0);           // 0.05 s
    t.world.global.random = &scripted;
    d->sequence = {2, 1, 0};
    DoorsPlayer& robot = d->players[5];
    robot.stage = 1;                       // past the start delay
    robot.hand_pos = 1.3f;
    update_bots(*d, 0.1f);                 // 1.4: aligned with 1, timer drawn
    EXPECT_NEAR(robot.reaction_timer, 0.1975f, 1e-4);
    update_bots(*d, 0.1f);                 // 1.5: button 2, gone
    EXPECT_FALSE(robot.has_pressed);
    EXPECT_EQ(robot.reaction_timer, 0.0f);
    robot.hand_dir = -1;
    update_bots(*d, 0.1f);                 // 1.4 again: a fresh 0.05 s
    EXPECT_TRUE(robot.has_pressed && robot.is_correct);
    EXPECT_EQ(robot.pressed_button, 1);
    EXPECT_TRUE(scripted.queued.empty());
}

TEST(DoorsTurns, QueueSwapRemovesAndNobodyFollowsAWalkerIntoHisCell) {
    DoorsTable t;
    auto d = t.start_doors();
    d->phase = ACTIVE;
    d->players[4].is_correct = true; // the lead robot of row 1 is done at cell 0
    d->update(0);
    EXPECT_TRUE(d->players[4].is_walking);
    d->update(0);
    EXPECT_EQ(d->players[HUMAN_ID].stage, 0);
    EXPECT_EQ(d->row_queues[1], (std::vector<uint32_t>{8, 6})); // the last id took 2's place

    d->players[HUMAN_ID].is_correct = true; // done at once, while 4 still walks to cell 1
    d->update(0.5f);
    EXPECT_EQ(d->players[HUMAN_ID].stage, 0);
    EXPECT_FALSE(d->players[HUMAN_ID].is_walking);
    EXPECT_FLOAT_EQ(get_player_position(*d, 4).x, 80 + 240 * 0.15625f); // a quarter of the walk, eased
}

TEST(DoorsGeometry, AWalkerBobsLessAsTheWalkEases) {
    DoorsPlayer walker;
    walker.is_walking = true;
    walker.row = 1;
    walker.walk_from_x = 80;
    walker.walk_from_y = walker.walk_to_y = 450;
    walker.walk_to_x = 320;
    walker.walk_progress = 0.125f; // eased to 0.04296875, at the top of the third bob
    Position p = player_position(walker);
    EXPECT_FLOAT_EQ(p.x, 80 + 240 * 0.04296875f);
    EXPECT_NEAR(p.y, 450 + 5 * (1 - 0.04296875f), 1e-3);
}

TEST(DoorsGeometry, ClickBoxesReachTheirFarEdgesAndAnOverlapGoesToTheFirstInTableOrder) {
    DoorsTable t;
    auto d = t.start_doors();
    d->players[5].stage = d->players[7].stage = FINISHED;
    d->players[5].finish_order = 0; // x 780
    d->players[7].finish_order = 1; // x 860, drawn over 5's right part
    EXPECT_EQ(figure_at_point(*d, 1060, 320), 7u); // x + 200, y + 200
    EXPECT_EQ(figure_at_point(*d, 1060.5f, 320), 0u);
    EXPECT_EQ(figure_at_point(*d, 1060, 320.5f), 0u);
    EXPECT_EQ(figure_at_point(*d, 900, 200), 5u);
    EXPECT_EQ(figure_at_point(*d, 990, 200), 7u);
}

TEST(DoorsFinish, LateJoinerDelaysJudgementAndFinishersLineUpInOrder) {
    DoorsTable t;
    auto d = t.start_doors();
    ASSERT_TRUE(t.run_to_phase(*d, ACTIVE));
    t.world.add_human(10);
    t.world.global.roles[10] = PlayerRole::MASKED;
    d->on_player_enter(10);
    EXPECT_EQ(d->row_queues[1].back(), 10u);
    ASSERT_TRUE(t.play_until(*d, {HUMAN_ID, OTHER_HUMAN_ID}, [&] { return d->players[HUMAN_ID].stage == FINISHED; }));
    run_steps(*d, DOORS_DT, 200);
    EXPECT_EQ(d->phase, ACTIVE); // 10 stands at a door or in the queue: no judgement yet
    EXPECT_LT(d->players[10].stage, FINISHED);
    ASSERT_TRUE(t.play_until(*d, {HUMAN_ID, OTHER_HUMAN_ID, 10}, [&] { return d->phase == JUDGEMENT; }));
    EXPECT_TRUE(all_players_finished(*d));
    std::set<int64_t> orders;
    for (const auto& [id, p] : d->players) {
        if (p.row == 1) orders.insert(p.finish_order);
        if (p.finish_order == 1) {
            EXPECT_FLOAT_EQ(get_player_position(*d, id).x, 860.0f);
        }
    }
    EXPECT_EQ(orders, (std::set<int64_t>{0, 1, 2, 3, 4}));
}

// Rows without robots: when ACTIVE begins each human stands at cell 0 of his row, and nothing
// moves unless a human presses. Steps of a quarter second add up to exactly 20 s.
struct DoorsIdle : ::testing::Test {
    static constexpr float DT = 0.25f;
    DoorsTable t;
    std::unique_ptr<DoorsState> d;
    void SetUp() override {
        for (uint32_t id = BOT_ID; id <= 9; ++id) t.world.global.players[id].connected = false;
        d = t.start_doors();
        d->sequence = {2, 0, 1};
        for (int i = 0; i < 100 && d->phase != ACTIVE; ++i) d->update(DT);
        ASSERT_EQ(d->phase, ACTIVE);
    }
    // Updates until the judgement begins; the number of updates it took (0 when it never did).
    int updates_to_judgement() {
        for (int n = 1; n <= 400; ++n) {
            d->update(DT);
            if (d->phase == JUDGEMENT) return n;
        }
        return 0;
    }
    void press_at(float hand_pos) {
        d->players[OTHER_HUMAN_ID].hand_pos = hand_pos;
        t.send(*d, OTHER_HUMAN_ID, space_down());
        t.send(*d, OTHER_HUMAN_ID, InputState{});
    }
};

TEST_F(DoorsIdle, TwentyQuietSecondsStartTheJudgementWithWhoeverIsThrough) {
    EXPECT_EQ(updates_to_judgement(), 80);
    EXPECT_EQ(d->players[OTHER_HUMAN_ID].stage, 0);
    EXPECT_FALSE(all_players_finished(*d)); // so the game-over picture will say the Overseer won
}

TEST_F(DoorsIdle, WrongPressesDoNotHoldItOff) {
    run_steps(*d, DT, 79);
    press_at(0.0f); // button 0; cell 0 wants 2
    ASSERT_TRUE(d->players[OTHER_HUMAN_ID].has_pressed);
    d->update(DT);
    EXPECT_EQ(d->phase, JUDGEMENT);
}

TEST_F(DoorsIdle, ARightPressRestartsTheCountAndTheWalkHoldsItAtZero) {
    run_steps(*d, DT, 79);
    press_at(2.0f);
    // The press is still shown at the 20 s mark (0.3 s), the walk starts one update later and
    // lasts 8 updates: 20 quiet seconds more after it make 1 + 8 + 80 updates.
    EXPECT_EQ(updates_to_judgement(), 89);
    EXPECT_EQ(d->players[OTHER_HUMAN_ID].stage, 1);
}

TEST_F(DoorsIdle, ALeaverAtADoorNoLongerHoldsUpTheJudgement) {
    d->on_player_leave(HUMAN_ID); // at cell 0 of row 1
    ASSERT_TRUE(t.play_until(*d, {OTHER_HUMAN_ID}, [&] {
        const DoorsPlayer& p = d->players[OTHER_HUMAN_ID];
        return p.stage == FINISHED && !p.is_walking;
    }));
    EXPECT_EQ(d->phase, JUDGEMENT); // at once, not 20 quiet seconds later
}

TEST(DoorsLeaving, ARejoinerWhoLeftWhileQueuedGoesThroughTheDoorsOnce) {
    DoorsTable t;
    auto d = t.start_doors();
    d->on_player_leave(OTHER_HUMAN_ID); // first in the row-0 queue
    d->on_player_enter(OTHER_HUMAN_ID);
    EXPECT_EQ(d->row_queues[0], (std::vector<uint32_t>{3, 7, 9}));
    int arrivals = 0; // times human 3 stepped up to cell 0
    bool at_first_door = false;
    ASSERT_TRUE(t.play_until(*d, {HUMAN_ID, OTHER_HUMAN_ID}, [&] {
        bool now = d->players[OTHER_HUMAN_ID].stage == 0;
        arrivals += now && !at_first_door;
        at_first_door = now;
        return d->phase == JUDGEMENT;
    }));
    EXPECT_EQ(arrivals, 1);
    EXPECT_EQ(d->players[OTHER_HUMAN_ID].stage, FINISHED);
}

} // namespace
} // namespace cog::test

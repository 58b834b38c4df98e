// Metro lean: robots follow the timeline with their offsets, humans must counter each push.
#include "server/screens/metro/metro_lean.h"
#include "tests/minigames/metro_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

using metro::MetroEventKind;

constexpr float DT = 0.05f;

struct MetroLeanTest : ::testing::Test {
    MetroTable t;
    metro::MetroState& m = t.start();
    metro::Passenger& ann = m.passengers[MetroTable::ANN];
    metro::Passenger& robot = m.passengers[1000]; // a filler
    void SetUp() override {
        robot.time_offset = 0;
        t.ride_on({{MetroEventKind::PRESS_LEFT, 30.0f}, {MetroEventKind::PRESS_RIGHT, 30.0f}});
    }
    void ride(float seconds) {
        for (int i = 0; i < static_cast<int>(seconds / DT + 0.5f); ++i) m.update(DT);
    }
};

TEST_F(MetroLeanTest, CounteringHumansLeanExactlyLikeRobots) {
    t.hold(MetroTable::ANN, true, false);
    t.hold(MetroTable::BOB, true, true); // both arrows count as left
    for (int i = 0; i < 100; ++i) {
        m.update(DT);
        ASSERT_FLOAT_EQ(ann.tilt, robot.tilt) << "step " << i;
        ASSERT_FLOAT_EQ(m.passengers[MetroTable::BOB].tilt, robot.tilt) << "step " << i;
    }
    EXPECT_GT(robot.tilt, 40.0f);
    EXPECT_LT(robot.tilt, 45.0f);
    ride(20);
    EXPECT_NEAR(ann.tilt, 45.0f, 0.01f);
}

TEST_F(MetroLeanTest, UncounteredPushThrowsAHumanAfterHalfASecond) {
    ride(0.5f);
    EXPECT_FLOAT_EQ(ann.tilt, robot.tilt); // the grace: nothing shows yet
    ride(0.5f);
    EXPECT_GT(ann.tilt, robot.tilt + 1.0f);
    ride(20);
    EXPECT_NEAR(ann.tilt, 60.0f, 0.01f);
    t.hold(MetroTable::ANN, false, true); // the wrong arrow does not help either
    ride(9);
    EXPECT_GT(ann.tilt, 50.0f);
    ride(1.0f);                            // now PRESS_RIGHT: right is the answer
    EXPECT_LT(ann.tilt, 45.0f);
    EXPECT_FLOAT_EQ(metro::human_lean_target(m, MetroTable::ANN).angle, -45.0f);
}

TEST_F(MetroLeanTest, PracticeNeverThrowsAnyone) {
    m.phase = metro::INTRO;
    m.intro_timer = 100;
    for (int i = 0; i < 200; ++i) {
        m.update(DT);
        ASSERT_FLOAT_EQ(ann.tilt, robot.tilt) << "step " << i;
    }
    EXPECT_GT(ann.tilt, 44.0f);
}

TEST_F(MetroLeanTest, ARobotsOffsetMovesItsLeanEarlier) {
    t.ride_on({{MetroEventKind::DO_NOTHING, 2.0f}, {MetroEventKind::PRESS_LEFT, 10.0f}});
    metro::Passenger& early = m.passengers[1001];
    early.time_offset = 0.1f;
    m.ride_time = 1.85f;
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, early).angle, 0.0f);
    m.ride_time = 1.95f; // 0.05 s before the push, the early robot already leans
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, early).angle, 45.0f);
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, robot).angle, 0.0f);
    m.ride_time = 11.95f; // and stands up again 0.1 s before the timeline runs out
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, early).angle, 0.0f);
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, early).rate, 5.0f);
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, robot).angle, 45.0f);
}

TEST_F(MetroLeanTest, TheGraceStartsAtTheEventChangeWhateverTheFrameTimes) {
    t.ride_on({{MetroEventKind::PRESS_LEFT, 1.0f}, {MetroEventKind::PRESS_RIGHT, 10.0f}});
    t.hold(MetroTable::ANN, true, false);
    for (int i = 0; i < 9; ++i) m.update(0.125f); // ride_time 1.125: the push changed at 1.0
    m.update(0.0625f); // a short frame: (ride_time - dt) already lies in the new push
    EXPECT_FLOAT_EQ(m.event_started_at, 1.125f);
    EXPECT_FLOAT_EQ(metro::human_lean_target(m, MetroTable::ANN).angle, -45.0f);
}

} // namespace
} // namespace cog::test

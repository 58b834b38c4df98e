// Metro lean: robots follow the timeline with their offsets, humans must counter each push.
#include "server/screens/metro/metro_lean.h"
#include "tests/minigames/metro_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

using metro::MetroEventKind;

struct MetroLeanTest : ::testing::Test {
    MetroTable t;
    metro::MetroState& m = t.start();
    metro::Passenger& ann = m.passengers[MetroTable::ANN];
    metro::Passenger& bob = m.passengers[MetroTable::BOB];
    metro::Passenger& robot = m.passengers[1000];
    void SetUp() override {
        robot.time_offset = 0;
        t.ride_on({{MetroEventKind::PRESS_LEFT, 30.0f}, {MetroEventKind::PRESS_RIGHT, 30.0f}});
    }
    void ride(float seconds) {
        for (int i = 0; i < static_cast<int>(seconds * 20 + 0.5f); ++i) m.update(0.05f);
    }
};

TEST_F(MetroLeanTest, CounteringHumansLeanLikeRobotsAndOthersAreThrownAfterHalfASecond) {
    t.hold(MetroTable::ANN, true, true); // both arrows count as left
    ride(0.5f);
    EXPECT_FLOAT_EQ(bob.tilt, robot.tilt); // Bob holds nothing: the grace shows nothing yet
    ride(20);
    EXPECT_FLOAT_EQ(ann.tilt, robot.tilt);
    EXPECT_NEAR(ann.tilt, 45.0f, 0.01f);
    EXPECT_NEAR(bob.tilt, 60.0f, 0.01f);
    ride(20); // PRESS_RIGHT from 30 s: Ann's left arrow is now wrong
    EXPECT_NEAR(ann.tilt, -60.0f, 0.5f);
    EXPECT_FLOAT_EQ(metro::human_lean_target(m, MetroTable::BOB).angle, -60.0f);
    t.hold(MetroTable::BOB, false, true);
    EXPECT_FLOAT_EQ(metro::human_lean_target(m, MetroTable::BOB).angle, -45.0f);

    m.phase = metro::INTRO; // practice: nobody is thrown
    m.intro_timer = 100;
    EXPECT_FLOAT_EQ(metro::human_lean_target(m, MetroTable::ANN).angle, -45.0f);
}

TEST_F(MetroLeanTest, ARobotsOffsetMovesItsLeanEarlier) {
    t.ride_on({{MetroEventKind::DO_NOTHING, 2.0f}, {MetroEventKind::PRESS_LEFT, 10.0f}});
    robot.time_offset = 0.1f;
    m.ride_time = 1.85f;
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, robot).angle, 0.0f);
    m.ride_time = 1.95f; // 0.05 s before the push, this robot already leans
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, robot).angle, 45.0f);
    m.ride_time = 11.95f; // and stands up again 0.1 s before the timeline runs out
    EXPECT_FLOAT_EQ(metro::robot_lean_target(m, robot).angle, 0.0f);
}

TEST_F(MetroLeanTest, TheGraceStartsAtTheEventChangeWhateverTheFrameTimes) {
    t.ride_on({{MetroEventKind::PRESS_LEFT, 1.0f}, {MetroEventKind::PRESS_RIGHT, 10.0f}});
    for (int i = 0; i < 9; ++i) m.update(0.125f); // ride_time 1.125: the push changed at 1.0
    m.update(0.0625f); // a short frame: (ride_time - dt) already lies in the new push
    EXPECT_FLOAT_EQ(m.event_started_at, 1.125f);
    EXPECT_FLOAT_EQ(metro::human_lean_target(m, MetroTable::ANN).angle, -45.0f);
}

} // namespace
} // namespace cog::test

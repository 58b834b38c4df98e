// Metro rules: the timeline, the seating, the ride's start on every mount and its end.
#include "server/screens/metro/metro_timeline.h"
#include "tests/minigames/metro_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

using metro::MetroEvent;
using metro::MetroEventKind;

TEST(MetroTimeline, EveryDrawCoversTheRideWithShorteningEventsClosedAtTheirEnds) {
    for (uint64_t seed = 1; seed <= 300; ++seed) {
        SeededRandom random(seed);
        std::array<MetroEvent, metro::MAX_EVENTS> timeline{};
        int64_t count = metro::draw_timeline(timeline, random);
        ASSERT_TRUE(count >= 16 && count <= 23) << count;
        float start = 0;
        for (int64_t i = 0; i < count; ++i) {
            float d = timeline[static_cast<size_t>(i)].duration, progress = start / 60.0f;
            EXPECT_LE(d, 5.0f - 2.0f * progress + 1e-4f);
            EXPECT_GE(i + 1 < count ? d : 3.5f, 3.5f - 1.5f * progress - 1e-4f); // only the last is cut
            start += d;
        }
        EXPECT_NEAR(start, 60.0f, 1e-3f);
    }
    std::array<MetroEvent, 2> events{{{MetroEventKind::PRESS_LEFT, 2.0f}, {MetroEventKind::PRESS_RIGHT, 3.0f}}};
    EXPECT_EQ(metro::event_index_at(events, 2.0f), 0);
    EXPECT_EQ(metro::event_index_at(events, 2.01f), 1);
    EXPECT_EQ(metro::event_index_at(events, 5.0f), 1);
    EXPECT_EQ(metro::event_index_at(events, 5.01f), std::nullopt);
}

TEST(MetroSeating, PlayersThenRobotFillersAndLateArrivalsInTheLowestFreeSlot) {
    MetroTable t;
    t.world.global.players[MetroTable::BOB].is_dead = true; // the dead still ride
    metro::MetroState& m = t.start();
    ASSERT_EQ(m.passengers.size(), 8u);
    EXPECT_FALSE(m.passengers.contains(MetroTable::COP));
    for (uint32_t id : {MetroTable::ANN, MetroTable::BOB, MetroTable::BOT}) EXPECT_EQ(m.passengers[id].slot_index, id - 2);
    EXPECT_FALSE(m.passengers[MetroTable::ANN].is_bot);
    EXPECT_TRUE(m.passengers[MetroTable::BOT].is_bot);
    for (uint32_t id = 1000; id <= 1004; ++id) {
        EXPECT_EQ(m.passengers.at(id).slot_index, id - 1000 + 3);
        EXPECT_TRUE(m.passengers[id].is_bot);
        EXPECT_TRUE(m.passengers[id].time_offset >= -0.15f && m.passengers[id].time_offset < 0.15f);
    }

    m.passengers[MetroTable::ANN].tilt = 30;
    m.on_player_enter(MetroTable::ANN); // a repeated enter moves nobody
    EXPECT_FLOAT_EQ(m.passengers[MetroTable::ANN].tilt, 30.0f);
    t.world.add_human(20);
    m.on_player_enter(20); // the car is full
    EXPECT_FALSE(m.passengers.contains(20));
    m.on_player_leave(MetroTable::BOB);
    m.on_player_leave(MetroTable::BOT);
    m.on_player_enter(20);
    EXPECT_EQ(m.passengers[20].slot_index, 1);
    t.world.add_bot(21);
    m.on_player_enter(21); // a late bot still leans and dies like a robot
    EXPECT_TRUE(m.passengers[21].is_bot);

    MetroTable many; // a player numbered 1000 keeps its seat: fillers take other numbers
    many.world.add_human(1000);
    metro::MetroState& crowd = many.start();
    EXPECT_FALSE(crowd.passengers.at(1000).is_bot);
    EXPECT_TRUE(crowd.passengers.at(1004).is_bot);
}

TEST(MetroLifecycle, EveryMountStartsANewRideWhichEndsAfterThirtySevenSeconds) {
    MetroTable t;
    t.metro.reset(static_cast<metro::MetroState*>(create_metro().release()));
    metro::MetroState& m = *t.metro;
    m.init(t.world.global);
    auto first = m.timeline;
    m.shot_fired = true;
    m.mount();
    ASSERT_EQ(t.world.sounds.size(), 2u); // MUSIC_METRO asked for again
    EXPECT_EQ(t.world.sounds[1].id, SoundId::MUSIC_METRO);
    EXPECT_NE(first[0].duration, m.timeline[0].duration);
    EXPECT_FALSE(m.shot_fired); // a stale shot would keep the remounted ride from ending

    int steps = 1;
    for (; steps < 200 && m.update(0.5f).kind == TransitionKind::NONE; ++steps) {
        if (steps == 14 || steps == 34) {
            EXPECT_EQ(m.phase, steps == 14 ? metro::GAMEPLAY_HIDDEN : metro::GAMEPLAY_VISIBLE) << steps;
        }
    }
    EXPECT_EQ(steps, 74); // 37 s, GAME_SELECT pushed

    m.mount();
    m.ride_remaining = 1.0f; // a ride that runs out first ends the screen, even in the practice
    m.update(0.5f);
    EXPECT_EQ(m.update(0.5f).screen, ScreenId::GAME_SELECT);
}

} // namespace
} // namespace cog::test

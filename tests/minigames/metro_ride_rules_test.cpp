// Metro rules: the timeline, the seating, the ride's start on every mount and its end.
#include "server/screens/metro/metro_seating.h"
#include "server/screens/metro/metro_timeline.h"
#include "tests/minigames/metro_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

using metro::MetroEvent;
using metro::MetroEventKind;

TEST(MetroTimeline, EveryDrawCoversTheRideWithShorteningEvents) {
    int kinds_seen[3] = {0, 0, 0};
    for (uint64_t seed = 1; seed <= 300; ++seed) {
        SeededRandom random(seed);
        std::array<MetroEvent, metro::MAX_EVENTS> timeline{};
        int64_t count = metro::draw_timeline(timeline, random);
        ASSERT_GE(count, 16);
        ASSERT_LE(count, 23);
        float start = 0;
        for (int64_t i = 0; i < count; ++i) {
            const MetroEvent& e = timeline[static_cast<size_t>(i)];
            float progress = start / 60.0f;
            EXPECT_LE(e.duration, 5.0f - 2.0f * progress + 1e-4f);
            if (i + 1 < count) {
                EXPECT_GE(e.duration, 3.5f - 1.5f * progress - 1e-4f);
            }
            EXPECT_GT(e.duration, 0.0f);
            ++kinds_seen[static_cast<int>(e.kind)];
            start += e.duration;
        }
        EXPECT_NEAR(start, 60.0f, 1e-3f);
    }
    for (int seen : kinds_seen) EXPECT_GT(seen, 0);
}

TEST(MetroTimeline, EachStretchIsClosedAtItsEnd) {
    std::array<MetroEvent, 2> events{{{MetroEventKind::PRESS_LEFT, 2.0f}, {MetroEventKind::PRESS_RIGHT, 3.0f}}};
    EXPECT_EQ(metro::event_index_at(events, -1.0f), 0);
    EXPECT_EQ(metro::event_index_at(events, 2.0f), 0);
    EXPECT_EQ(metro::event_index_at(events, 2.01f), 1);
    EXPECT_EQ(metro::event_index_at(events, 5.0f), 1);
    EXPECT_EQ(metro::event_index_at(events, 5.01f), std::nullopt);
    EXPECT_EQ(metro::kind_or_nothing(nullptr), MetroEventKind::DO_NOTHING);
}

TEST(MetroSeating, PlayersTakeTheFirstSlotsAndRobotFillersTheRest) {
    MetroTable t;
    t.world.global.players[MetroTable::BOB].is_dead = true; // the dead still ride
    metro::MetroState& m = t.start();
    ASSERT_EQ(m.passengers.size(), 8u);
    EXPECT_FALSE(m.passengers.contains(MetroTable::COP));
    EXPECT_EQ(m.passengers[MetroTable::ANN].slot_index, 0);
    EXPECT_EQ(m.passengers[MetroTable::BOB].slot_index, 1);
    EXPECT_EQ(m.passengers[MetroTable::BOT].slot_index, 2);
    EXPECT_FALSE(m.passengers[MetroTable::ANN].is_bot);
    EXPECT_FLOAT_EQ(m.passengers[MetroTable::ANN].time_offset, 0.0f);
    for (uint32_t id = 1000; id <= 1004; ++id) {
        const metro::Passenger& filler = m.passengers.at(id);
        EXPECT_EQ(filler.slot_index, id - 1000 + 3);
        EXPECT_TRUE(filler.is_bot);
        EXPECT_GE(filler.time_offset, -0.15f);
        EXPECT_LT(filler.time_offset, 0.15f);
    }
    EXPECT_TRUE(m.passengers[MetroTable::BOT].is_bot);
    EXPECT_GE(m.passengers[MetroTable::BOT].time_offset, -0.15f);
}

TEST(MetroSeating, LateArrivalsTakeTheLowestFreeSlotAndRidersKeepTheirs) {
    MetroTable t;
    metro::MetroState& m = t.start();
    m.passengers[MetroTable::ANN].tilt = 30;
    m.on_player_enter(MetroTable::ANN); // a repeated enter moves nobody
    EXPECT_FLOAT_EQ(m.passengers[MetroTable::ANN].tilt, 30.0f);
    t.world.add_human(20);
    m.on_player_enter(20); // the car is full
    EXPECT_FALSE(m.passengers.contains(20));

    m.on_player_leave(MetroTable::BOB);
    m.on_player_leave(MetroTable::BOT);
    EXPECT_FALSE(m.passengers.contains(MetroTable::BOB));
    m.on_player_enter(20);
    EXPECT_EQ(m.passengers[20].slot_index, 1);
    EXPECT_FALSE(m.passengers[20].is_bot);
    t.world.add_bot(21);
    m.on_player_enter(21); // a late bot still leans and dies like a robot
    EXPECT_EQ(m.passengers[21].slot_index, 2);
    EXPECT_TRUE(m.passengers[21].is_bot);
    m.on_player_leave(999); // never seen: nothing happens
    EXPECT_EQ(m.passengers.size(), 8u);
}

TEST(MetroSeating, CrowdsShareSlotsAndFillersNeverTakeAPlayersId) {
    MetroTable t;
    for (uint32_t id = 5; id <= 9; ++id) t.world.add_bot(id);
    t.world.add_human(1000);
    metro::MetroState& m = t.start();
    ASSERT_EQ(m.passengers.size(), 9u); // nine riders, no filler
    EXPECT_EQ(m.passengers[1000].slot_index, 0); // ninth rider: 8 mod 8
    EXPECT_FALSE(m.passengers[1000].is_bot);

    MetroTable small;
    small.world.add_human(1001);
    metro::MetroState& s = small.start();
    EXPECT_FALSE(s.passengers.at(1001).is_bot);
    EXPECT_TRUE(s.passengers.at(1000).is_bot);
    EXPECT_TRUE(s.passengers.at(1002).is_bot);
    EXPECT_EQ(s.passengers.size(), 8u);
}

TEST(MetroLifecycle, EveryMountStartsANewRideAndAsksForTheMusic) {
    MetroTable t;
    t.metro.reset(static_cast<metro::MetroState*>(create_metro().release()));
    metro::MetroState& m = *t.metro;
    m.init(t.world.global);
    auto first = m.timeline;
    m.shot_fired = true;
    m.phase = metro::SHOOTING;
    m.mount();
    ASSERT_EQ(t.world.sounds.size(), 2u);
    for (const PlayedSound& s : t.world.sounds) {
        EXPECT_EQ(s.id, SoundId::MUSIC_METRO);
        EXPECT_FLOAT_EQ(s.volume, 0.7f);
    }
    EXPECT_NE(first[0].duration, m.timeline[0].duration);
    EXPECT_EQ(m.phase, metro::INTRO);
    EXPECT_FALSE(m.shot_fired);
    EXPECT_EQ(m.passengers.size(), 8u);
}

TEST(MetroLifecycle, WithoutAShotTheRideEndsAfterThirtySevenSeconds) {
    MetroTable t;
    metro::MetroState& m = t.start();
    int steps = 0;
    ScreenTransition end;
    while (steps < 200 && end.kind == TransitionKind::NONE) {
        end = m.update(0.5f);
        ++steps;
        if (steps == 14) {
            EXPECT_EQ(m.phase, metro::GAMEPLAY_HIDDEN);
        } else if (steps == 34) {
            EXPECT_EQ(m.phase, metro::GAMEPLAY_VISIBLE);
        }
    }
    EXPECT_EQ(steps, 74);
    EXPECT_EQ(end.kind, TransitionKind::PUSH);
    EXPECT_EQ(end.screen, ScreenId::GAME_SELECT);

    MetroTable cut;
    metro::MetroState& c = cut.start();
    c.ride_remaining = 1.0f; // the ride runs out first, even during the practice
    c.update(0.5f);
    EXPECT_EQ(c.update(0.5f).kind, TransitionKind::PUSH);
}

} // namespace
} // namespace cog::test

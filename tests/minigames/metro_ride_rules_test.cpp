// Metro rules: the timeline, the seating, the ride's start on every mount and its end.
#include "server/screens/metro/metro_timeline.h"
#include "tests/minigames/metro_table.h"

#include <gtest/gtest.h>

#include <map>

namespace cog::test {
namespace {

using metro::MetroEvent;
using metro::MetroEventKind;

TEST(MetroTimeline, EveryDrawCoversTheRideWithShorteningEventsOfThreeKindsClosedAtTheirEnds) {
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
    // Each event draws its length, then its kind: right below 0.33, left below 0.66, else upright.
    ScriptedRandom scripted;
    for (double u_kind : {0.329, 0.331, 0.659, 0.661}) {
        scripted.queue_uniform(0.0);
        scripted.queue_uniform(u_kind);
    }
    std::array<MetroEvent, metro::MAX_EVENTS> drawn{};
    metro::draw_timeline(drawn, scripted);
    EXPECT_EQ(drawn[0].kind, MetroEventKind::PRESS_RIGHT);
    EXPECT_EQ(drawn[1].kind, MetroEventKind::PRESS_LEFT);
    EXPECT_EQ(drawn[2].kind, MetroEventKind::PRESS_LEFT);
    EXPECT_EQ(drawn[3].kind, MetroEventKind::DO_NOTHING);

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

    t.world.add_human(20);
    m.on_player_enter(20); // the car is full
    EXPECT_FALSE(m.passengers.contains(20));
    m.on_player_leave(MetroTable::BOB);
    m.on_player_leave(MetroTable::BOT);
    m.passengers[MetroTable::ANN].tilt = 30;
    m.on_player_enter(MetroTable::ANN); // a repeated enter moves nobody, even to a lower free slot
    EXPECT_EQ(m.passengers[MetroTable::ANN].slot_index, 0);
    EXPECT_FLOAT_EQ(m.passengers[MetroTable::ANN].tilt, 30.0f);
    m.on_player_enter(20);
    EXPECT_EQ(m.passengers[20].slot_index, 1);
    t.world.add_bot(21);
    m.on_player_enter(21); // a late bot still leans and dies like a robot
    EXPECT_TRUE(m.passengers[21].is_bot);

    // The host's ids reach a riding filler's: the newcomer rides as himself, the filler rides on.
    m.on_player_leave(20);
    m.shot_player_id = 1000; // the filler was shot: the shot stays with it
    t.world.add_human(1000);
    m.on_player_enter(1000);
    EXPECT_EQ(m.shot_player_id, 1005u);
    EXPECT_FALSE(m.passengers.at(1000).is_bot);
    EXPECT_EQ(m.passengers.at(1000).slot_index, 1);
    ASSERT_TRUE(m.passengers.contains(1005));
    EXPECT_TRUE(m.passengers.at(1005).is_bot);
    EXPECT_EQ(m.passengers.at(1005).slot_index, 3);
    EXPECT_EQ(m.passengers.size(), 8u);

    MetroTable many; // a player numbered 1000 keeps its seat: fillers take other numbers
    many.world.add_human(1000);
    metro::MetroState& crowd = many.start();
    EXPECT_FALSE(crowd.passengers.at(1000).is_bot);
    EXPECT_TRUE(crowd.passengers.at(1004).is_bot);
}

TEST(MetroLifecycle, EveryMountStartsANewRideWhichEndsAfterItsThreePhases) {
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

    // The update that ends the practice (the 14th) already counts for the hidden phase, so the
    // ride ends one update before 37 s.
    std::map<int, int64_t> phase_after;
    int steps = 1;
    for (; steps < 200 && m.update(0.5f).kind == TransitionKind::NONE; ++steps) phase_after[steps] = m.phase;
    EXPECT_EQ(phase_after[13], metro::INTRO);
    EXPECT_EQ(phase_after[14], metro::GAMEPLAY_HIDDEN);
    EXPECT_EQ(phase_after[32], metro::GAMEPLAY_HIDDEN);
    EXPECT_EQ(phase_after[33], metro::GAMEPLAY_VISIBLE);
    EXPECT_EQ(steps, 73); // GAME_SELECT pushed

    m.mount();
    m.ride_remaining = 1.0f; // a ride that runs out first ends the screen, even in the practice
    m.update(0.5f);
    EXPECT_EQ(m.update(0.5f).screen, ScreenId::GAME_SELECT);
}

} // namespace
} // namespace cog::test

// Game select: the round counter, the end-of-game checks, the die and its flicker, the picture.
#include "server/screens/game_select/game_select_state.h"
#include "server/screens/game_select/minigame_table.h"
#include "tests/flow/flow_support.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

class GameSelectTest : public ::testing::Test {
protected:
    TestWorld world;
    ConsoleCapture console;
    GameSelectState select;
    Frame frame;

    // Player 1 masked, player 2 the Overseer, bots 3 and 4 masked.
    void SetUp() override {
        world.clock.wall = 3'000; // low 32 bits divisible by 3: face 1
        world.add_human(1);
        world.add_human(2);
        world.add_bot(3);
        world.add_bot(4);
        for (uint32_t id : {1u, 3u, 4u}) world.global.roles[id] = PlayerRole::MASKED;
        world.global.roles[2] = PlayerRole::COP;
    }
    DrawList& render() {
        frame.list.clear();
        select.render(1, frame.list);
        return frame.list;
    }
    // Steps time forward in quarter-tenths so that each flicker interval is sampled mid-way.
    void advance(float seconds) {
        for (float t = 0; t < seconds - 1e-4f; t += 0.025f) select.update(0.025f);
    }
};

TEST(DieFace, UsesOnlyTheLowThirtyTwoBitsOfTheWallClock) {
    EXPECT_EQ(die_face_from_wall_ns(3'000), 1);
    EXPECT_EQ(die_face_from_wall_ns(3'001), 2);
    EXPECT_EQ(die_face_from_wall_ns(3'002), 3);
    EXPECT_EQ(die_face_from_wall_ns(int64_t{1} << 32), 1); // the whole value mod 3 would give 2
    EXPECT_EQ(minigame_for_face(1), ScreenId::TYPEWRITER);
    EXPECT_EQ(minigame_for_face(2), ScreenId::DOORS);
    EXPECT_EQ(minigame_for_face(3), ScreenId::METRO);
    EXPECT_STREQ(screen_display_name(ScreenId::METRO), "Metro Commute");
    EXPECT_STREQ(screen_display_name(ScreenId::END), "");
}

TEST_F(GameSelectTest, RollsForThreeSecondsShowsForTwoThenPushesTheTypingPool) {
    push_like_host(select, world.global);
    EXPECT_EQ(world.global.next_minigame_count, 1);
    EXPECT_TRUE(console.contains("Game select initialized: 4 players, dice will roll to 1"));
    EXPECT_TRUE(console.contains("[GAME_SELECT mount] Rounds remaining will show: 5"));

    EXPECT_EQ(run_frames(select, 6, 0.5f).kind, TransitionKind::NONE);
    EXPECT_EQ(select.phase, 1);
    EXPECT_TRUE(console.contains("Dice roll complete: 1 -> minigame TYPEWRITER"));
    const DrawList& shown = render();
    const DrawCommand* name = find_text(shown, "Typing Pool");
    ASSERT_NE(name, nullptr);
    EXPECT_FLOAT_EQ(name->x, 600.0f - 12.0f * 11.0f);
    const DrawCommand* starting = find_text(shown, "Starting in 3...");
    ASSERT_NE(starting, nullptr);
    EXPECT_FLOAT_EQ(starting->x, 640.0f - 8.0f * 16.0f);

    EXPECT_EQ(run_frames(select, 3, 0.5f).kind, TransitionKind::NONE);
    const ScreenTransition t = select.update(0.5f);
    EXPECT_EQ(t.kind, TransitionKind::PUSH);
    EXPECT_EQ(t.screen, ScreenId::TYPEWRITER);
    EXPECT_TRUE(console.contains("Transitioning to minigame: TYPEWRITER"));
    EXPECT_EQ(select.phase, 2);
    EXPECT_EQ(texts_of(render()).size(), 7u); // title (5) and the two counters only
}

TEST_F(GameSelectTest, DieFlickersThroughFacesEveryTenthOfASecond) {
    world.clock.wall = 3'002; // face 3, so the flicker is not the result
    push_like_host(select, world.global);
    const int expected_faces[] = {1, 2, 3, 1, 2};
    const uint8_t expected_grey[] = {255, 200, 255, 200, 255};
    advance(0.05f);
    for (int k = 0; k < 5; ++k) {
        const auto dice = commands_of_kind(render(), DrawCommandKind::SPRITE);
        ASSERT_EQ(dice.size(), 1u);
        EXPECT_EQ(dice[0].asset_id, static_cast<uint16_t>(AssetId::DICE_1) + expected_faces[k] - 1) << k;
        EXPECT_EQ(dice[0].color, (Color{expected_grey[k], expected_grey[k], expected_grey[k], 255})) << k;
        advance(0.1f);
    }
}

TEST_F(GameSelectTest, SixthMountEndsTheGame) {
    for (int round = 1; round <= 5; ++round) {
        select.init(world.global);
        select.mount();
        EXPECT_FALSE(select.game_over) << round;
        const std::string rounds = "Rounds Left: " + std::to_string(6 - round);
        EXPECT_NE(find_text(render(), rounds), nullptr) << rounds;
    }
    select.mount();
    EXPECT_TRUE(select.game_over);
    EXPECT_TRUE(console.contains("Game ending: 5 minigames completed"));
    const ScreenTransition t = select.update(0.1f);
    EXPECT_EQ(t.kind, TransitionKind::PUSH);
    EXPECT_EQ(t.screen, ScreenId::END);
}

TEST_F(GameSelectTest, NoLivingMaskedHumanEndsTheGame) {
    push_like_host(select, world.global);
    EXPECT_NE(find_text(render(), "MASKED Alive: 1"), nullptr);
    world.global.players.at(1).is_dead = true;
    select.mount();
    EXPECT_TRUE(console.contains("Game ending: all real masked players dead"));
    EXPECT_EQ(select.update(0.1f).screen, ScreenId::END);

    // The only real player is the Overseer: the very first init already ends the game.
    world.global.players.erase(1);
    GameSelectState fresh;
    push_like_host(fresh, world.global);
    EXPECT_TRUE(console.contains("Game ending in init: all real masked players dead (COP wins)"));
    EXPECT_EQ(fresh.update(0.016f).kind, TransitionKind::PUSH);
}

TEST_F(GameSelectTest, FadeRunsEachRoundWhileTitleTimeKeepsGoing) {
    push_like_host(select, world.global);
    EXPECT_EQ(render().back().color[3], 255);
    select.update(0.5f);
    EXPECT_EQ(render().back().color[3], 127);
    select.update(0.5f);
    EXPECT_EQ(render().back().kind, DrawCommandKind::TEXT);

    select.mount(); // a minigame popped itself
    EXPECT_FLOAT_EQ(select.fade, 1.0f);
    EXPECT_FLOAT_EQ(select.elapsed, 1.0f);
    EXPECT_EQ(select.phase, 0);
    EXPECT_FLOAT_EQ(select.timer, 3.0f);
}

} // namespace
} // namespace cog::test

// Door memorization pictures: the cards, the per-phase overlays, the masks and the shot.
#include "tests/minigames/doors_table.h"

#include <gtest/gtest.h>

#include <string>

namespace cog::test {
namespace {

using namespace doors;

struct DoorsPicture : ::testing::Test {
    DoorsTable t;
    std::unique_ptr<DoorsState> d = t.start_doors();
    Frame frame;
    const DrawList& draw(uint32_t viewer) {
        frame.list.clear();
        d->render(viewer, frame.list);
        return frame.list;
    }
};

TEST_F(DoorsPicture, TheOverseerReadsTheBriefingForTenSecondsWhileTheMaskedCountDown) {
    run_steps(*d, 0.1f, 26); // intro_timer 2.4
    const DrawCommand* count = find_text(draw(HUMAN_ID), "Starting in 3...");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->color, (Color{255, 200, 100, 255}));
    EXPECT_FLOAT_EQ(count->x, (1280 - 12 * 16) / 2.0f);
    run_steps(*d, 0.1f, 5);  // 1.9
    count = find_text(draw(HUMAN_ID), "Starting in 2...");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->color, (Color{255, 50, 50, 255}));

    run_steps(*d, 0.1f, 48); // 7.9 s: GAME_START, yet the Overseer still reads
    ASSERT_EQ(d->phase, GAME_START);
    const DrawList& cop = draw(COP_ID);
    EXPECT_TRUE(commands_of_kind(cop, DrawCommandKind::SPRITE).empty());
    EXPECT_EQ(find_text(cop, "- Mr. GEARS"), nullptr); // its turn comes 7.75 s into the card
    const DrawCommand* line = find_text(cop, "Overseer,");
    ASSERT_NE(line, nullptr);
    EXPECT_FLOAT_EQ(line->x, (1280 - 12 * 9) / 2.0f - 150); // no slide: y stays 20
    EXPECT_FLOAT_EQ(line->y, 20);
}

TEST_F(DoorsPicture, ADeadViewerInActiveGetsTheSmallSpectatorTextsAndTheRedAlert) {
    ASSERT_TRUE(t.run_to_phase(*d, ACTIVE));
    t.world.global.players[HUMAN_ID].is_dead = true;
    t.world.global.players[5].mask = 7;
    const DrawList& dead = draw(HUMAN_ID);
    auto size_of = [&](std::string_view text) { return find_text(dead, text) ? find_text(dead, text)->font_size : -1; };
    EXPECT_EQ(size_of("SPECTATOR MODE"), 20);
    EXPECT_EQ(size_of("You have been eliminated"), 16);
    EXPECT_NE(find_text(dead, "Alert! The overseer is watching you"), nullptr);
    EXPECT_EQ(find_text(dead, "YOU"), nullptr); // a dead figure is not drawn
    EXPECT_EQ(count_sprites(dead, AssetId::BUTTON_NORMAL) + count_sprites(dead, AssetId::BUTTON_PRESSED), 18u);
    // This minigame has seven masks: a bot's eighth shows as the first.
    Position robot = get_player_position(*d, 5);
    bool masked_with_first = false;
    for (const DrawCommand& c : dead)
        masked_with_first |= c.x == robot.x + 20 && c.y == robot.y - 20 && c.asset_id == uint16_t(AssetId::MASK_1);
    EXPECT_TRUE(masked_with_first);
    EXPECT_TRUE(t.console.contains("[DOORS SHOOTING] normal_player: 5 player_x: "));
}

TEST_F(DoorsPicture, JudgementDrawsNoButtonsAndGivesTheOverseerASightAndHisClock) {
    ASSERT_TRUE(t.run_to_phase(*d, JUDGEMENT));
    t.world.global.players[COP_ID].input.mouse_x = 400;
    t.world.global.players[COP_ID].input.mouse_y = 300;
    const DrawList& cop = draw(COP_ID);
    EXPECT_EQ(count_sprites(cop, AssetId::BUTTON_NORMAL), 0u);
    EXPECT_EQ(cop.back().asset_id, uint16_t(AssetId::GUN_SIGHT));
    EXPECT_FLOAT_EQ(cop.back().x, 350);
    EXPECT_NE(find_text(cop, "Time left: " + std::to_string(int(d->phase_timer))), nullptr);
    EXPECT_EQ(count_sprites(draw(HUMAN_ID), AssetId::STANDING_WITH_ARM), 8u);
}

TEST_F(DoorsPicture, HalfwayThroughTheFadeTheMaskFliesUnderAHalfFlashThenTheVerdictStands) {
    ASSERT_TRUE(t.run_to_phase(*d, JUDGEMENT));
    Position robot = get_player_position(*d, 5);
    t.send(*d, COP_ID, mouse(robot.x + 10, robot.y + 10, true));
    ASSERT_EQ(d->shot_player_id, 5u);
    d->update(1.5f);
    const DrawList& cop = draw(COP_ID);
    EXPECT_NE(cop.front().kind, DrawCommandKind::RECT); // no background
    EXPECT_EQ(count_sprites(cop, AssetId::BUTTON_NORMAL) + count_sprites(cop, AssetId::FLASHLIGHT), 0u);
    auto pro = commands_of_kind(cop, DrawCommandKind::SPRITE_PRO);
    ASSERT_EQ(pro.size(), 2u); // the standing shot figure, then the mask
    EXPECT_EQ(pro[0].asset_id, uint16_t(AssetId::ROBOT_SHOT_STANDING));
    EXPECT_EQ(pro[1].asset_id, uint16_t(mask_asset(uint32_t(t.world.global.players[5].mask) % 7)));
    EXPECT_FLOAT_EQ(pro[1].x, robot.x + 2000);
    EXPECT_FLOAT_EQ(pro[1].y, robot.y - 150);
    EXPECT_FLOAT_EQ(pro[1].rotation, 1800);
    EXPECT_FLOAT_EQ(pro[1].scale_x, 0.0830078125f);
    EXPECT_EQ(cop.back().color[3], 127);
    EXPECT_TRUE(t.console.contains("[DOORS SHOOTING] shot_player_id: 5 player_x: 780 player_y: 120 stage: 3 row: 0 "
                                   "is_animating: false\n"));
    d->update(1.5f);
    const DrawCommand* verdict = find_text(draw(HUMAN_ID), "It was a ROBOT!");
    ASSERT_NE(verdict, nullptr);
    EXPECT_FLOAT_EQ(verdict->y, 490);
}

} // namespace
} // namespace cog::test

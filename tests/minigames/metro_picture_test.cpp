// Metro pictures: briefing, practice card, ride for both roles, and the shot.
#include "tests/minigames/metro_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

std::vector<DrawCommand> sprites(const DrawList& list, DrawCommandKind kind, AssetId asset) {
    std::vector<DrawCommand> found;
    for (const DrawCommand& c : list)
        if (c.kind == kind && c.asset_id == uint16_t(asset)) found.push_back(c);
    return found;
}

struct MetroPictureTest : ::testing::Test {
    MetroTable t;
    metro::MetroState& m = t.start();
    std::unique_ptr<Frame> picture(uint32_t viewer) {
        auto frame = std::make_unique<Frame>();
        m.render(viewer, frame->list);
        return frame;
    }
};

TEST_F(MetroPictureTest, TheBriefingRevealsItsLinesOverBlack) {
    m.update(0.25f);
    EXPECT_EQ(picture(MetroTable::COP)->list.size(), 1u); // black only in the first half second
    m.update(2.0f);                                       // R = 1.75 s
    auto frame = picture(MetroTable::COP);
    ASSERT_EQ(frame->list.size(), 7u);
    EXPECT_EQ(frame->list[1].text, "Overseer,");
    EXPECT_EQ(frame->list[6].color[3], 0);
    EXPECT_GT(frame->list[5].color[3], 0);
    EXPECT_FLOAT_EQ(frame->list[1].y, 30 - 20); // halfway up its 40 px slide
}

TEST_F(MetroPictureTest, ThePracticeCardShowsTheSwayingCarAndTheKeys) {
    t.ride_on({{metro::MetroEventKind::PRESS_LEFT, 60}});
    m.phase = metro::INTRO;
    m.intro_timer = 1.5f;
    m.update(1.25f); // total_time 1.25
    auto frame = picture(MetroTable::ANN);
    auto tiles = sprites(frame->list, DrawCommandKind::SPRITE, AssetId::TRAIN_BG);
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_FLOAT_EQ(tiles[0].x, -800);
    EXPECT_FLOAT_EQ(tiles[1].x, 480);
    EXPECT_FLOAT_EQ(tiles[2].x, 1760);
    auto bodies = sprites(frame->list, DrawCommandKind::SPRITE_PRO, AssetId::STANDING_WITH_ARM);
    ASSERT_EQ(bodies.size(), 8u);
    EXPECT_GT(bodies[0].rotation, 0); // leaning with the push already
    const DrawCommand* countdown = find_text(frame->list, "Starting in 1...");
    ASSERT_NE(countdown, nullptr);
    EXPECT_EQ(countdown->color, (Color{255, 50, 50, 255}));
    EXPECT_NE(find_text(frame->list, "Press Left or Right to keep your balance."), nullptr);
    EXPECT_NE(find_text(frame->list, "YOU"), nullptr);
    EXPECT_NE(find_text(frame->list, "P1000"), nullptr);
}

TEST_F(MetroPictureTest, TheRedFrameComesWithTheVisiblePhaseAndTheClocksCountDown) {
    t.ride_on({{metro::MetroEventKind::PRESS_RIGHT, 60}});
    m.ride_remaining = 4.2f;
    auto hidden = picture(MetroTable::ANN);
    EXPECT_EQ(find_text(hidden->list, "THE OVERSEER IS WATCHING"), nullptr);
    EXPECT_NE(find_text(hidden->list, ">> PRESS RIGHT >>"), nullptr);
    const DrawCommand* ends = find_text(hidden->list, "Ends in: 5");
    ASSERT_NE(ends, nullptr);
    EXPECT_EQ(ends->color, (Color{255, 50, 50, 255}));
    m.phase = metro::GAMEPLAY_VISIBLE;
    auto visible = picture(MetroTable::ANN);
    EXPECT_NE(find_text(visible->list, "THE OVERSEER IS WATCHING"), nullptr);
    EXPECT_EQ(commands_of_kind(visible->list, DrawCommandKind::RECT).size(), 4u);
    m.ride_remaining = -1.0f;
    auto late = picture(MetroTable::ANN);
    EXPECT_NE(find_text(late->list, "Ends in: 0"), nullptr);
}

TEST_F(MetroPictureTest, TheOverseerSeesTheCarThroughItsSight) {
    t.finish_briefing();
    InputState aim;
    aim.mouse_x = 500;
    aim.mouse_y = 300;
    t.send(MetroTable::COP, aim);
    auto frame = picture(MetroTable::COP);
    EXPECT_NE(find_text(frame->list, "OBSERVER MODE"), nullptr);
    EXPECT_EQ(find_text(frame->list, "YOU"), nullptr);
    EXPECT_EQ(find_text(frame->list, "|| DO NOTHING ||"), nullptr);
    ASSERT_EQ(frame->list.back().asset_id, uint16_t(AssetId::GUN_SIGHT));
    EXPECT_FLOAT_EQ(frame->list.back().x, 436);
    EXPECT_FLOAT_EQ(frame->list.back().y, 236);
}

TEST_F(MetroPictureTest, TheDeadLeaveTheRideButStandForTheShot) {
    t.world.global.players[MetroTable::BOB].is_dead = true;
    t.finish_briefing();
    auto ride = picture(MetroTable::BOB);
    EXPECT_EQ(sprites(ride->list, DrawCommandKind::SPRITE_PRO, AssetId::STANDING_WITH_ARM).size(), 7u);
    EXPECT_EQ(ride->list.back().text, "You have been eliminated"); // drawn over the car

    t.click(240, 400); // Ann
    m.update(1.5f);
    auto shot = picture(MetroTable::BOB);
    EXPECT_EQ(sprites(shot->list, DrawCommandKind::SPRITE_PRO, AssetId::STANDING_WITH_ARM).size(), 7u);
    EXPECT_EQ(sprites(shot->list, DrawCommandKind::SPRITE_PRO, AssetId::HUMAN_SHOT_STANDING).size(), 1u);
    auto flying = sprites(shot->list, DrawCommandKind::SPRITE_PRO, mask_asset(uint32_t(t.world.global.players[2].mask)));
    ASSERT_FALSE(flying.empty());
    EXPECT_FLOAT_EQ(flying.back().x, 240 + 150 + 2000);
    EXPECT_FLOAT_EQ(flying.back().y, 550 + 150 - 150);
    EXPECT_TRUE(t.console.contains("[METRO SHOOTING RENDER] shot_player_id: 2 phase: FADING was_bot: false\n"));
    EXPECT_TRUE(t.console.contains("[METRO SHOOTING] normal_player: 3 slot_index: 1 x: 360 y: 550\n"));
}

TEST_F(MetroPictureTest, AShotFillerLosesNoMaskAndShowsNoFlash) {
    t.finish_briefing();
    t.click(240 + 120 * 7, 400);
    m.update(1.0f);
    auto fading = picture(MetroTable::ANN);
    EXPECT_EQ(fading->list.back().asset_id, uint16_t(AssetId::TRAIN));
    EXPECT_EQ(sprites(fading->list, DrawCommandKind::SPRITE_PRO, AssetId::ROBOT_SHOT_STANDING).size(), 1u);
    m.update(2.0f);
    auto reveal = picture(MetroTable::ANN);
    const DrawCommand* verdict = find_text(reveal->list, "It was a ROBOT!");
    ASSERT_NE(verdict, nullptr);
    EXPECT_FLOAT_EQ(verdict->x, 297.5f);
}

} // namespace
} // namespace cog::test

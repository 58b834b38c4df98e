// Metro pictures: practice card, ride for both roles, the dead viewer and the shot.
#include "tests/minigames/metro_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

size_t count_pro(const DrawList& list, AssetId asset) {
    size_t n = 0;
    for (const DrawCommand& c : list) n += c.kind == DrawCommandKind::SPRITE_PRO && c.asset_id == uint16_t(asset);
    return n;
}

struct MetroPictureTest : ::testing::Test {
    MetroTable t;
    metro::MetroState& m = t.start();
    std::vector<std::unique_ptr<Frame>> frames; // alive until the test ends
    const DrawList& picture(uint32_t viewer) {
        frames.push_back(std::make_unique<Frame>());
        m.render(viewer, frames.back()->list);
        return frames.back()->list;
    }
};

TEST_F(MetroPictureTest, ThePracticeCardShowsTheSwayingCarAndTheKeys) {
    t.ride_on({{metro::MetroEventKind::PRESS_LEFT, 60}});
    m.phase = metro::INTRO;
    m.intro_timer = 1.5f;
    m.update(1.25f); // total_time 1.25
    const DrawList& card = picture(MetroTable::ANN);
    auto tiles = commands_of_kind(card, DrawCommandKind::SPRITE);
    ASSERT_GE(tiles.size(), 3u);
    EXPECT_FLOAT_EQ(tiles[0].x, -800);
    EXPECT_FLOAT_EQ(tiles[1].x, 480);
    EXPECT_FLOAT_EQ(tiles[2].x, 1760);
    EXPECT_GT(commands_of_kind(card, DrawCommandKind::SPRITE_PRO)[0].rotation, 0); // leaning already
    ASSERT_NE(find_text(card, "Starting in 1..."), nullptr);
    EXPECT_EQ(find_text(card, "Starting in 1...")->color, (Color{255, 50, 50, 255}));
    EXPECT_NE(find_text(card, "YOU"), nullptr);
    EXPECT_NE(find_text(card, "P5"), nullptr); // the first filler, numbered after the players
}

TEST_F(MetroPictureTest, TheRedFrameComesWithTheVisiblePhaseAndTheOverseerSeesNoPrompt) {
    t.ride_on({{metro::MetroEventKind::PRESS_RIGHT, 60}});
    m.ride_remaining = 4.2f;
    const DrawList& hidden = picture(MetroTable::ANN);
    EXPECT_EQ(find_text(hidden, "THE OVERSEER IS WATCHING"), nullptr);
    EXPECT_NE(find_text(hidden, ">> PRESS RIGHT >>"), nullptr);
    ASSERT_NE(find_text(hidden, "Ends in: 5"), nullptr);
    EXPECT_EQ(find_text(hidden, "Ends in: 5")->color, (Color{255, 50, 50, 255}));
    m.phase = metro::GAMEPLAY_VISIBLE;
    const DrawList& visible = picture(MetroTable::ANN);
    EXPECT_NE(find_text(visible, "THE OVERSEER IS WATCHING"), nullptr);
    EXPECT_EQ(commands_of_kind(visible, DrawCommandKind::RECT).size(), 4u);
    m.ride_remaining = 30;
    t.finish_briefing();
    const DrawList& overseer = picture(MetroTable::COP);
    EXPECT_EQ(find_text(overseer, ">> PRESS RIGHT >>"), nullptr);
    EXPECT_EQ(find_text(overseer, "YOU"), nullptr);
    EXPECT_EQ(overseer.back().asset_id, uint16_t(AssetId::GUN_SIGHT));
}

TEST_F(MetroPictureTest, TheBriefingRevealsTwelveLinesFromNineAndAHalfSecondsSlidingFortyPixels) {
    m.update(0.25f);
    EXPECT_EQ(m.cop_intro_stage, 0);
    EXPECT_EQ(commands_of_kind(picture(MetroTable::COP), DrawCommandKind::TEXT).size(), 0u);
    m.update(0.25f);
    EXPECT_EQ(m.cop_intro_stage, 1);

    m.cop_intro_timer = 7.75f; // half the reveal: six lines, the sixth just due, half the slide
    auto half = commands_of_kind(picture(MetroTable::COP), DrawCommandKind::TEXT);
    ASSERT_EQ(half.size(), 6u);
    EXPECT_EQ(half[0].text, "Overseer,");
    EXPECT_FLOAT_EQ(half[0].x, (1280 - 12 * 9) / 2.0f - 80);
    EXPECT_FLOAT_EQ(half[0].y, 30 - 20);
    EXPECT_EQ(half[0].color, (Color{100, 200, 255, 255}));
    EXPECT_FLOAT_EQ(half[5].y, 30 + 5 * 60 - 20);
    EXPECT_EQ(half[5].color[3], 0);

    m.cop_intro_timer = 2.0f;
    m.cop_intro_stage = 2;
    const DrawList& full = picture(MetroTable::COP);
    auto all = commands_of_kind(full, DrawCommandKind::TEXT);
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(all[9].text, "");
    EXPECT_EQ(all[11].text, "- Mr. GEARS");
    EXPECT_FLOAT_EQ(all[11].y, 30 + 11 * 60 - 40);
    EXPECT_EQ(find_text(full, "GET READY..."), nullptr);
}

TEST_F(MetroPictureTest, TheDeadLeaveTheRideButStandForTheShot) {
    t.world.global.players[MetroTable::BOB].is_dead = true;
    t.finish_briefing();
    m.phase = metro::GAMEPLAY_VISIBLE;
    const DrawList& ride = picture(MetroTable::BOB);
    EXPECT_EQ(count_pro(ride, AssetId::STANDING_WITH_ARM), 7u);
    EXPECT_EQ(find_text(ride, "THE OVERSEER IS WATCHING"), nullptr); // the purple frame stands alone
    EXPECT_EQ(ride.back().text, "You have been eliminated"); // drawn over the car

    t.click(240, 400); // Ann
    m.update(0.75f); // a quarter of the fade
    const DrawList& shot = picture(MetroTable::BOB);
    EXPECT_EQ(count_pro(shot, AssetId::STANDING_WITH_ARM), 7u);
    EXPECT_EQ(count_pro(shot, AssetId::HUMAN_SHOT_STANDING), 1u);
    const DrawCommand& mask = shot[shot.size() - 8]; // then the flash and the spectator alert
    EXPECT_EQ(mask.asset_id, uint16_t(mask_asset(uint32_t(t.world.global.players[MetroTable::ANN].mask))));
    EXPECT_FLOAT_EQ(mask.x, 240 + 150 + 1000);
    EXPECT_FLOAT_EQ(mask.y, 550 + 150 - 600 * 0.25f * 0.75f);
    EXPECT_FLOAT_EQ(mask.rotation, 900);
    EXPECT_FLOAT_EQ(mask.scale_x, 0.925f * 0.1171875f);
    EXPECT_EQ(shot[shot.size() - 7].color, (Color{255, 255, 255, 191}));
    EXPECT_TRUE(t.console.contains("[METRO SHOOTING RENDER] shot_player_id: 2 phase: FADING was_bot: false\n"));
    EXPECT_TRUE(t.console.contains("[METRO SHOOTING] normal_player: 3 slot_index: 1 x: 360 y: 550\n"));
    m.update(2.25f);
    const DrawList& verdict = picture(MetroTable::BOB);
    const DrawCommand* human = find_text(verdict, "It was a HUMAN!");
    ASSERT_NE(human, nullptr);
    EXPECT_EQ(human->color, (Color{255, 50, 50, 255}));
    EXPECT_FLOAT_EQ(human->x, 297.5f);
    EXPECT_FLOAT_EQ(human->y, 320);
    EXPECT_EQ((human - 1)->color, (Color{0, 0, 0, 180}));

    MetroTable other; // a filler loses its mask under the flash like any robot
    metro::MetroState& f = other.start();
    other.finish_briefing();
    other.click(240 + 120 * 7, 400);
    f.update(1.0f);
    Frame fading;
    f.render(MetroTable::ANN, fading.list);
    const DrawCommand& flash = fading.list.back();
    EXPECT_EQ(flash.kind, DrawCommandKind::RECT);
    EXPECT_EQ(flash.color, (Color{255, 255, 255, 170}));
    EXPECT_EQ(fading.list[fading.list.size() - 2].kind, DrawCommandKind::SPRITE_PRO);
}

} // namespace
} // namespace cog::test

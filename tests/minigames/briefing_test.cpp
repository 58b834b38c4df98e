// The Overseer's briefing: stage changes, line fade-in and slide, "GET READY..." and who sees it.
#include "tests/minigames/minigame_table.h"

#include <gtest/gtest.h>

#include <cmath>

namespace cog::test {
namespace {

TEST(BriefingStages, LinesStartExactlyAtTheFirstThreshold) {
    Table table;
    auto tw = table.typewriter();
    tw->update(0.25f);
    EXPECT_EQ(tw->cop_intro_stage, 0);
    tw->update(0.25f); // timer 19.5 = S1
    EXPECT_EQ(tw->cop_intro_stage, 1);
}

TEST(BriefingStages, GetReadyAtSecondThresholdAndOverAtZero) {
    Table table;
    auto tw = table.typewriter();
    run_steps(*tw, 0.5f, 31); // timer 4.5
    EXPECT_EQ(tw->cop_intro_stage, 1);
    tw->update(0.5f); // 4.0 = S2
    EXPECT_EQ(tw->cop_intro_stage, 2);
    EXPECT_FALSE(table.console.contains("COP intro complete"));
    run_steps(*tw, 0.5f, 8); // 0.0
    EXPECT_EQ(tw->cop_intro_stage, 3);
    EXPECT_EQ(table.console.count("[TYPEWRITER] COP intro complete\n"), 1u);
    run_steps(*tw, 0.5f, 4);
    EXPECT_FLOAT_EQ(tw->cop_intro_timer, 0.0f); // no longer touched
}

TEST(BriefingStages, OneLongStepPassesEveryStage) {
    Table table;
    auto pw = table.password();
    pw->update(12.0f);
    EXPECT_EQ(pw->cop_intro_stage, 3);
    EXPECT_FALSE(table.console.contains("COP intro complete")); // the password stays quiet
}

TEST(BriefingCard, FirstLineAppearsFadedAndSliding) {
    Table table;
    auto tw = table.typewriter();
    tw->cop_intro_timer = 18.0f; // 1.5 s into the reveal
    tw->cop_intro_stage = 1;
    Frame frame;
    tw->render(COP_ID, frame.list);
    auto texts = commands_of_kind(frame.list, DrawCommandKind::TEXT);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "Overseer,");
    EXPECT_EQ(texts[0].color, (Color{100, 200, 255, 113}));
    EXPECT_FLOAT_EQ(texts[0].x, 506.0f);
    EXPECT_NEAR(texts[0].y, 150.0f - 1.5f / 11.5f * 60.0f, 1e-3);
    EXPECT_EQ(frame.list.front().color, (Color{0, 0, 0, 255}));
}

TEST(BriefingCard, AfterTheSpanAllLinesAreOpaqueAndRaised) {
    Table table;
    auto tw = table.typewriter();
    tw->cop_intro_timer = 7.5f;
    tw->cop_intro_stage = 1;
    Frame frame;
    tw->render(COP_ID, frame.list);
    auto texts = commands_of_kind(frame.list, DrawCommandKind::TEXT);
    ASSERT_EQ(texts.size(), 9u);
    EXPECT_FLOAT_EQ(texts[0].y, 90.0f);
    EXPECT_FLOAT_EQ(texts[8].y, 530.0f);
    EXPECT_EQ(texts[8].text, "- Mr. GEARS");
    for (const auto& t : texts) EXPECT_EQ(t.color[3], 255);
}

TEST(BriefingCard, GetReadyFadesInDuringItsFirstSecond) {
    Table table;
    auto pw = table.password();
    pw->cop_intro_stage = 2;
    pw->cop_intro_timer = 3.5f;
    Frame fading;
    pw->render(COP_ID, fading.list);
    const DrawCommand* ready = find_text(fading.list, "GET READY...");
    ASSERT_NE(ready, nullptr);
    EXPECT_EQ(ready->color, (Color{255, 255, 100, 127}));
    EXPECT_FLOAT_EQ(ready->x, 520.0f);
    EXPECT_FLOAT_EQ(ready->y, 500.0f);
    EXPECT_EQ(ready->font_size, 40);

    pw->cop_intro_timer = 2.0f;
    Frame full;
    pw->render(COP_ID, full.list);
    EXPECT_EQ(find_text(full.list, "GET READY...")->color[3], 255);

    pw->cop_intro_stage = 1;
    Frame before;
    pw->render(COP_ID, before.list);
    EXPECT_EQ(find_text(before.list, "GET READY..."), nullptr);
}

TEST(ViewChoice, OverseerSeesOnlyTheCardUntilTheBriefingEnds) {
    Table table;
    auto tw = table.typewriter();
    table.world.global.players[COP_ID].input = mouse(300, 200, false);
    run_steps(*tw, 0.5f, 39); // 19.5 s
    Frame briefing;
    tw->render(COP_ID, briefing.list);
    EXPECT_EQ(count_sprites(briefing.list, AssetId::BODY), 0u);
    EXPECT_EQ(find_text(briefing.list, "OBSERVER MODE"), nullptr);

    tw->update(0.5f);
    Frame game;
    tw->render(COP_ID, game.list);
    EXPECT_NE(find_text(game.list, "OBSERVER MODE"), nullptr);
    EXPECT_EQ(count_sprites(game.list, AssetId::BODY), 8u); // the Overseer is not a figure
    // Bodies and masks bob together: the first figure (player 2, cell (130, 150)) sits
    // 5 sin(t speed + phase) off its cell, the same for both sprites.
    const MinigamePlayer& first = tw->players[HUMAN_ID];
    const float bob = 5 * std::sin(tw->total_time * first.bob_speed + first.bob_phase);
    ASSERT_GT(std::fabs(bob), 0.01f);
    const DrawCommand* body = find_sprite(game.list, AssetId::BODY);
    ASSERT_NE(body, nullptr);
    EXPECT_FLOAT_EQ(body->y, 150 + bob);
    EXPECT_FLOAT_EQ((body + 1)->y, 150 + bob);
    EXPECT_NE((body + 1)->asset_id, uint16_t(AssetId::BODY));
    const DrawCommand* light = find_sprite(game.list, AssetId::FLASHLIGHT);
    const DrawCommand* sight = find_sprite(game.list, AssetId::GUN_SIGHT);
    ASSERT_NE(light, nullptr);
    ASSERT_NE(sight, nullptr);
    EXPECT_FLOAT_EQ(light->x, -1200.0f);
    EXPECT_FLOAT_EQ(light->y, -1300.0f);
    EXPECT_FLOAT_EQ(light->width, 3000.0f);
    EXPECT_FLOAT_EQ(sight->x, 236.0f);
    EXPECT_FLOAT_EQ(sight->y, 136.0f);
    EXPECT_EQ(&game.list.back(), sight); // drawn last, over everything
}

TEST(ViewChoice, MaskedPlayersGetTheGameViewAndTheAlertOnlyAfterTheBriefing) {
    Table table;
    auto tw = table.typewriter();
    tw->update(0.5f);
    Frame early;
    tw->render(HUMAN_ID, early.list);
    EXPECT_EQ(count_sprites(early.list, AssetId::BODY), 8u);
    EXPECT_EQ(find_text(early.list, "Alert! The observer is watching you"), nullptr);
    EXPECT_EQ(find_sprite(early.list, AssetId::FLASHLIGHT), nullptr);
    EXPECT_NE(find_text(early.list, "YOU"), nullptr);

    run_steps(*tw, 0.5f, 39);
    Frame watched;
    tw->render(HUMAN_ID, watched.list);
    EXPECT_NE(find_text(watched.list, "Alert! The observer is watching you"), nullptr);
}

TEST(ViewChoice, PasswordIntroCardCountsDownWithLabelsOnly) {
    Table table;
    auto pw = table.password();
    pw->update(0.5f);
    Frame frame;
    pw->render(HUMAN_ID, frame.list);
    const DrawCommand* countdown = find_text(frame.list, "Starting in 5...");
    ASSERT_NE(countdown, nullptr);
    EXPECT_FLOAT_EQ(countdown->x, 520.0f); // (1280 - 15 * 16) / 2
    EXPECT_NE(find_text(frame.list, "Type in the correct password.\nToo obvious? Guess again!"), nullptr);
    EXPECT_NE(find_text(frame.list, "Player 3"), nullptr);
    EXPECT_EQ(count_sprites(frame.list, AssetId::LEFT_HAND), 0u);
    EXPECT_EQ(find_text(frame.list, "_"), nullptr);
}

} // namespace
} // namespace cog::test

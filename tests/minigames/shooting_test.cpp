// Click-to-shoot and the shot sequence: hit test edges, fresh presses only, verdicts, sounds.
#include "server/screens/minigame/shooting.h"
#include "tests/minigames/minigame_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

// A typing pool whose briefing is over: word 4 is being typed.
struct ShootingTest : ::testing::Test {
    Table table;
    std::unique_ptr<typewriter::TypewriterState> tw = table.typewriter();
    void SetUp() override { run_steps(*tw, 0.5f, 40); }
    void click(float x, float y) {
        table.send(*tw, COP_ID, mouse(x, y, true));
        table.send(*tw, COP_ID, mouse(x, y, false));
    }
};

TEST_F(ShootingTest, CellEdgesHitAndGapsMiss) {
    EXPECT_EQ(figure_at(*tw, 130, 150), HUMAN_ID);
    EXPECT_EQ(figure_at(*tw, 330, 350), HUMAN_ID);       // bottom-right corner included
    EXPECT_EQ(figure_at(*tw, 370, 250), std::nullopt);   // column gap
    EXPECT_EQ(figure_at(*tw, 410, 150), OTHER_HUMAN_ID);
    EXPECT_EQ(figure_at(*tw, 200, 380), std::nullopt);   // row gap
    EXPECT_EQ(figure_at(*tw, 130, 410), 6u);             // fifth figure, second row
    EXPECT_EQ(figure_at(*tw, 1170, 610), 9u);       // last of eight, corner
    EXPECT_EQ(figure_at(*tw, 1171, 610), std::nullopt);
}

TEST_F(ShootingTest, DeadPlayersLeaveTheGridAndTheOthersCloseUp) {
    table.world.global.players[OTHER_HUMAN_ID].is_dead = true;
    EXPECT_EQ(figure_at(*tw, 410, 150), BOT_ID);
    EXPECT_EQ(figure_at(*tw, 410, 410), 8u);
    tw->on_player_leave(BOT_ID);
    EXPECT_EQ(figure_at(*tw, 410, 150), 5u);
    Frame frame;
    tw->render(HUMAN_ID, frame.list);
    EXPECT_EQ(count_sprites(frame.list, AssetId::BODY), 6u);
}

TEST_F(ShootingTest, FifthFigureIsDrawnOnTheSecondRow) {
    Frame frame;
    tw->render(COP_ID, frame.list);
    const DrawCommand* label = find_text(frame.list, "Player 6");
    ASSERT_NE(label, nullptr);
    EXPECT_FLOAT_EQ(label->x, 130 + 115 - 8 * 8);
    EXPECT_FLOAT_EQ(label->y, 385.0f);
    EXPECT_EQ(find_text(frame.list, "Player 1"), nullptr);
}

TEST_F(ShootingTest, HeldButtonFiresOnlyOnAFreshPress) {
    table.send(*tw, COP_ID, mouse(50, 50, true));   // pressed on nothing
    table.send(*tw, COP_ID, mouse(200, 200, true)); // dragged onto a figure, still held
    EXPECT_EQ(tw->phase, typewriter::TYPING);
    table.send(*tw, COP_ID, mouse(200, 200, false));
    table.send(*tw, COP_ID, mouse(200, 200, true));
    EXPECT_EQ(tw->phase, typewriter::SHOOTING);
    EXPECT_EQ(tw->shot_player_id, HUMAN_ID);
}

TEST(ShootingBriefing, ButtonHeldWhenTheBriefingEndsNeedsANewPress) {
    Table table;
    auto tw = table.typewriter();
    tw->update(0.5f);
    table.send(*tw, COP_ID, mouse(200, 200, true)); // during the briefing: no shot, but remembered
    EXPECT_EQ(tw->phase, typewriter::TYPING);
    run_steps(*tw, 0.5f, 39);
    ASSERT_EQ(tw->cop_intro_stage, 3);
    table.send(*tw, COP_ID, mouse(200, 200, true));
    EXPECT_EQ(tw->phase, typewriter::TYPING);
    table.send(*tw, COP_ID, mouse(200, 200, false));
    table.send(*tw, COP_ID, mouse(200, 200, true));
    EXPECT_EQ(tw->phase, typewriter::SHOOTING);
}

TEST_F(ShootingTest, ShootingABotRevealsARobotAndKillsNobody) {
    click(700, 200);
    ASSERT_EQ(tw->shot_player_id, BOT_ID);
    EXPECT_TRUE(tw->shot_was_bot);
    run_steps(*tw, 0.5f, 5);
    Frame fading;
    tw->render(HUMAN_ID, fading.list);
    EXPECT_EQ(find_text(fading.list, "It was a ROBOT!"), nullptr);
    EXPECT_EQ(fading.list.back().color[3], 42); // white flash, 0.5 s left of 3
    EXPECT_EQ(count_sprites(fading.list, AssetId::ROBOT_SHOT), 1u);

    tw->update(0.5f);
    Frame reveal;
    tw->render(HUMAN_ID, reveal.list);
    const DrawCommand* verdict = find_text(reveal.list, "It was a ROBOT!");
    ASSERT_NE(verdict, nullptr);
    EXPECT_EQ(verdict->color, (Color{100, 255, 100, 255}));
    EXPECT_FLOAT_EQ(verdict->x, 297.5f);

    RunResult rest = run_until_transition(*tw, 0.5f, 20);
    EXPECT_EQ(rest.steps, 10); // 8 s after the shot
    EXPECT_EQ(rest.transition.kind, TransitionKind::PUSH);
    EXPECT_EQ(rest.transition.screen, ScreenId::GAME_SELECT);
    for (const auto& entry : table.world.global.players) EXPECT_FALSE(entry.second.is_dead);
    EXPECT_FALSE(table.console.contains("marked as dead"));
}

TEST_F(ShootingTest, ShootingAHumanMarksHimDead) {
    click(200, 200);
    EXPECT_FALSE(tw->shot_was_bot);
    RunResult result = run_until_transition(*tw, 0.5f, 40);
    EXPECT_EQ(result.steps, 16);
    EXPECT_EQ(result.transition.kind, TransitionKind::PUSH);
    EXPECT_TRUE(table.world.global.players[HUMAN_ID].is_dead);
    EXPECT_TRUE(table.console.contains("[TYPEWRITER] Player 2 marked as dead\n"));
    // A refused push (full stack) leaves the minigame on top: its end must not fire again.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(tw->update(0.5f).kind, TransitionKind::NONE);
    EXPECT_EQ(table.console.count("marked as dead"), 1u);
}

TEST_F(ShootingTest, MaskFliesFromTheShotFigure) {
    click(410, 150);
    tw->update(1.5f); // halfway through the fade
    Frame frame;
    tw->render(COP_ID, frame.list);
    auto pro = commands_of_kind(frame.list, DrawCommandKind::SPRITE_PRO);
    ASSERT_EQ(pro.size(), 1u);
    uint16_t mask = uint16_t(mask_asset(uint32_t(table.world.global.players[OTHER_HUMAN_ID].mask)));
    EXPECT_EQ(pro[0].asset_id, mask);
    EXPECT_FLOAT_EQ(pro[0].x, 410 + 2000);
    EXPECT_FLOAT_EQ(pro[0].y, 150 - 150);
    EXPECT_FLOAT_EQ(pro[0].rotation, 1800);
    EXPECT_FLOAT_EQ(pro[0].scale_x, 0.85f * 0.09765625f);
    EXPECT_EQ(find_sprite(frame.list, AssetId::FLASHLIGHT), nullptr);
    EXPECT_EQ(find_text(frame.list, "Player 3"), nullptr); // the shot figure loses its label
}

TEST_F(ShootingTest, HandsStayLoweredDuringTheShot) {
    table.send(*tw, HUMAN_ID, letters("A"));
    click(700, 200);
    run_steps(*tw, 0.5f, 4);
    EXPECT_FLOAT_EQ(tw->players[HUMAN_ID].left_hand_offset, 20.0f);
}

TEST(ShootingSounds, MusicStartsWithTheFirstWordAndStopsBeforeTheGunshot) {
    Table table;
    std::vector<SoundId> order;
    table.world.global.play_sound = [&](SoundId id, float volume) {
        order.push_back(id);
        EXPECT_FLOAT_EQ(volume, id == SoundId::SFX_GUNSHOT ? 1.0f : 0.7f);
    };
    table.world.global.stop_music = [&] { order.push_back(SoundId::NONE); };
    auto tw = table.typewriter();
    tw->update(0.5f);
    EXPECT_EQ(order, (std::vector<SoundId>{SoundId::MUSIC_TYPING}));
    run_steps(*tw, 0.5f, 39);
    table.send(*tw, COP_ID, mouse(200, 200, true));
    EXPECT_EQ(order, (std::vector<SoundId>{SoundId::MUSIC_TYPING, SoundId::NONE, SoundId::SFX_GUNSHOT}));
}

TEST(ShootingPassword, SilentShotDuringThinkingIsAnnounced) {
    Table table;
    auto pw = table.password();
    run_steps(*pw, 0.5f, 24); // briefing over; question 1 typing
    ASSERT_EQ(pw->cop_intro_stage, 3);
    run_steps(*pw, 0.5f, 9);  // question 2 thinking
    ASSERT_EQ(pw->phase, password::THINKING);
    table.send(*pw, COP_ID, mouse(690, 150, true));
    EXPECT_EQ(pw->phase, password::SHOOTING);
    EXPECT_TRUE(table.console.contains("[PASSWORD] COP player 1 clicked on player 4\n"));
    EXPECT_TRUE(table.world.sounds.empty());
    EXPECT_EQ(table.world.music_stops, 0);
}

} // namespace
} // namespace cog::test

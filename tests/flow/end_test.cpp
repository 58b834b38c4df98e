// End screen: the music, each viewer's verdict, the countdown back to the lobby and the fade-in.
#include "server/screens/end/end_state.h"
#include "tests/flow/flow_support.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

class EndTest : public ::testing::Test {
protected:
    TestWorld world;
    ConsoleCapture console;
    EndState end;
    Frame frame;

    // 1 Overseer, 2 masked and alive, 3 masked and shot, 4 joined after the deal, 5 a bot.
    void SetUp() override {
        world.add_human(1);
        world.add_human(2);
        world.add_human(3).is_dead = true;
        world.add_human(4);
        world.add_bot(5);
        world.global.roles = {{1, PlayerRole::COP}, {2, PlayerRole::MASKED}, {3, PlayerRole::MASKED},
                              {5, PlayerRole::MASKED}};
    }
    DrawList& render(uint32_t viewer) {
        frame.list.clear();
        end.render(viewer, frame.list);
        return frame.list;
    }
    std::string verdict(uint32_t viewer) { return texts_of(render(viewer)).at(0); }
};

TEST_F(EndTest, MaskedSurvivorMeansHumanWinMusicAndPerViewerVerdicts) {
    push_like_host(end, world.global);
    ASSERT_EQ(world.sounds.size(), 1u);
    EXPECT_EQ(world.sounds[0].id, SoundId::MUSIC_HUMAN_WIN);
    EXPECT_FLOAT_EQ(world.sounds[0].volume, 0.7f);
    EXPECT_TRUE(console.contains("[END] Initialized"));
    EXPECT_TRUE(console.contains("[END] Mounted, overseer_won=false, auto-return in 7.0 seconds"));

    EXPECT_EQ(verdict(1), "YOU LOSE");
    EXPECT_EQ(verdict(2), "YOU WIN");
    EXPECT_EQ(verdict(3), "YOU LOSE");
    EXPECT_EQ(verdict(4), "YOU WIN");
    EXPECT_EQ(console.count("[END] Masked players (excluding bots): 2 total, 1 living, 1 dead"), 4u);

    const DrawList& list = render(3);
    EXPECT_FLOAT_EQ(list[1].x, 320.0f);
    EXPECT_EQ(list[1].font_size, 160);
    EXPECT_FLOAT_EQ(find_text(render(2), "YOU WIN")->x, 360.0f);
}

TEST_F(EndTest, AllMaskedShotMeansOverseerWins) {
    world.global.players.at(2).is_dead = true;
    push_like_host(end, world.global);
    ASSERT_EQ(world.sounds.size(), 1u);
    EXPECT_EQ(world.sounds[0].id, SoundId::MUSIC_OVERSEER_WIN);
    EXPECT_TRUE(console.contains("overseer_won=true"));
    EXPECT_EQ(verdict(1), "YOU WIN");
    EXPECT_EQ(verdict(2), "YOU LOSE");
}

TEST_F(EndTest, CountsDownSevenSecondsThenReturnsToLobby) {
    push_like_host(end, world.global);
    const std::string first = texts_of(render(2)).at(1);
    EXPECT_EQ(first, "Returning to lobby in 8 seconds...");
    EXPECT_FLOAT_EQ(frame.list.back().x, 640.0f - 10.0f * static_cast<float>(first.size()));
    end.update(0.016f);
    EXPECT_NE(find_text(render(2), "Returning to lobby in 7 seconds..."), nullptr);

    EXPECT_EQ(run_frames(end, 13, 0.5f).kind, TransitionKind::NONE); // 6.516 s in
    EXPECT_NE(find_text(render(2), "Returning to lobby in 1 seconds..."), nullptr);
    end.mount(); // remounting restarts the wait
    EXPECT_EQ(run_frames(end, 13, 0.5f).kind, TransitionKind::NONE);
    const ScreenTransition t = end.update(0.5f);
    EXPECT_EQ(t.kind, TransitionKind::POP_TO);
    EXPECT_EQ(t.screen, ScreenId::LOBBY);
    EXPECT_TRUE(console.contains("[END] Auto-return timer expired, returning to lobby"));
}

TEST_F(EndTest, TextsFadeInOverHalfASecond) {
    push_like_host(end, world.global);
    const DrawList& first = render(2);
    EXPECT_EQ(first[0].color, (Color{0, 0, 0, 255}));
    EXPECT_EQ(first[1].color, (Color{0, 255, 100, 0}));
    EXPECT_EQ(first[2].color[3], 0);
    end.update(0.25f);
    EXPECT_EQ(render(2)[1].color[3], 127);
    end.update(0.25f);
    EXPECT_EQ(render(3)[1].color, (Color{255, 50, 50, 255}));
    EXPECT_EQ(frame.list[2].color, (Color{200, 200, 200, 255}));
}

} // namespace
} // namespace cog::test

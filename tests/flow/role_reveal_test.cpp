// Role reveal: bot filling, the deterministic deal, the fade and hold, and each viewer's card.
#include "server/screens/role_reveal/role_reveal_state.h"
#include "tests/flow/flow_support.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

class RoleRevealTest : public ::testing::Test {
protected:
    TestWorld world;
    ConsoleCapture console;
    RoleRevealState reveal;
    Frame frame;

    DrawList& render(uint32_t viewer) {
        frame.list.clear();
        reveal.render(viewer, frame.list);
        return frame.list;
    }
    PlayerRole role_of(uint32_t id) const { return world.global.roles.at(id); }
};

TEST_F(RoleRevealTest, TwoHumansGetSevenMaskedBotsAndPlayerTwoIsTheOverseer) {
    world.global.mask_offset = 3;
    world.add_human(1);
    world.add_human(2);
    push_like_host(reveal, world.global);

    ASSERT_EQ(world.global.players.size(), 9u);
    for (uint32_t id = 3; id <= 9; ++id) {
        const PlayerConnection& bot = world.global.players.at(id);
        EXPECT_TRUE(bot.is_bot && bot.connected);
        EXPECT_EQ(bot.id, id);
        EXPECT_EQ(bot.mask, static_cast<int32_t>((id + 3) % 8));
        EXPECT_EQ(role_of(id), PlayerRole::MASKED);
    }
    EXPECT_EQ(role_of(1), PlayerRole::MASKED);
    EXPECT_EQ(role_of(2), PlayerRole::COP);
    EXPECT_TRUE(console.contains("Filling with 7 bots (current: 2, max: 9)"));
    EXPECT_TRUE(console.contains("Created bot with ID: 9, mask: 4"));
    EXPECT_TRUE(console.contains("Role assignment: 2 real players, 7 bots"));
    EXPECT_TRUE(console.contains("Role distribution: 1 MASKED, 1 COP"));
    EXPECT_TRUE(console.contains("Player 1 assigned role: MASKED"));
    EXPECT_TRUE(console.contains("Player 2 assigned role: COP"));
    EXPECT_TRUE(console.contains("Role reveal initialized"));
}

TEST_F(RoleRevealTest, BotIdsFollowTheHighestIdEvenOfADisconnectedHuman) {
    world.add_human(1);
    world.add_human(5).connected = false;
    reveal.init(world.global);
    EXPECT_EQ(world.global.players.rbegin()->first, 13u); // bots 6..13
    EXPECT_EQ(world.global.roles.count(5), 0u);
    EXPECT_EQ(role_of(1), PlayerRole::COP);
    EXPECT_TRUE(console.contains("Role distribution: 0 MASKED, 1 COP"));
}

TEST_F(RoleRevealTest, FullTableGetsNoBots) {
    for (uint32_t id = 1; id <= 9; ++id) world.add_human(id);
    reveal.init(world.global);
    EXPECT_EQ(world.global.players.size(), 9u);
    EXPECT_FALSE(console.contains("Filling with"));
    int cops = 0;
    for (const auto& entry : world.global.roles) cops += entry.second == PlayerRole::COP ? 1 : 0;
    EXPECT_EQ(cops, 1);
}

TEST(RoleDeal, PermutationDependsOnlyOnIdsAndOrder) {
    std::vector<uint32_t> two{1, 2};
    permute_real_players(two);
    EXPECT_EQ(two, (std::vector<uint32_t>{1, 2}));
    std::vector<uint32_t> three{1, 2, 3};
    permute_real_players(three);
    EXPECT_EQ(three, (std::vector<uint32_t>{1, 3, 2}));
    std::vector<uint32_t> none;
    permute_real_players(none);
    EXPECT_TRUE(none.empty());
}

TEST_F(RoleRevealTest, OnlyBotsSeatedMeansNoOverseer) {
    for (uint32_t id = 1; id <= 9; ++id) world.add_bot(id);
    reveal.init(world.global);
    EXPECT_TRUE(console.contains("Role assignment: 0 real players, 9 bots"));
    EXPECT_FALSE(console.contains("Role distribution"));
    EXPECT_TRUE(world.global.roles.empty());
}

TEST_F(RoleRevealTest, FadesInThenHoldsThenPushesGameSelect) {
    world.add_human(1);
    reveal.init(world.global);
    EXPECT_EQ(render(1).back().color[3], 255);
    reveal.update(1.5f);
    EXPECT_EQ(render(1).back().color[3], 127);

    EXPECT_EQ(run_frames(reveal, 2, 0.75f).kind, TransitionKind::NONE);
    EXPECT_EQ(reveal.phase, 1);
    EXPECT_FLOAT_EQ(reveal.elapsed, 0.0f);
    EXPECT_TRUE(console.contains("Fade complete, entering post-fade wait"));
    EXPECT_EQ(commands_of_kind(render(1), DrawCommandKind::RECT).size(), 1u);

    EXPECT_EQ(run_frames(reveal, 9, 0.5f).kind, TransitionKind::NONE);
    const ScreenTransition t = reveal.update(0.5f);
    EXPECT_EQ(t.kind, TransitionKind::PUSH);
    EXPECT_EQ(t.screen, ScreenId::GAME_SELECT);
    EXPECT_TRUE(console.contains("Role reveal complete, transitioning to GAME_SELECT"));
    EXPECT_EQ(render(1).size(), 1u);
    EXPECT_EQ(reveal.update(10).kind, TransitionKind::NONE);
}

TEST_F(RoleRevealTest, EachViewerSeesHisOwnCard) {
    world.global.mask_offset = 2;
    world.add_human(1);
    world.add_human(2);
    reveal.init(world.global);
    reveal.update(3.0f);

    const auto sprites = commands_of_kind(render(1), DrawCommandKind::SPRITE);
    ASSERT_EQ(sprites.size(), 2u);
    EXPECT_EQ(sprites[0].asset_id, static_cast<uint16_t>(AssetId::BODY));
    EXPECT_EQ(sprites[1].asset_id, static_cast<uint16_t>(AssetId::MASK_1) + 3); // (1 + 2) mod 7
    EXPECT_FLOAT_EQ(sprites[1].width, 450.0f);
    EXPECT_NE(find_text(frame.list, "YOU ARE MASKED"), nullptr);
    EXPECT_NE(find_text(frame.list, "Do not let the Overseer find you."), nullptr);

    const DrawList& cop = render(2);
    EXPECT_TRUE(commands_of_kind(cop, DrawCommandKind::SPRITE).empty());
    const DrawCommand* title = find_text(cop, "YOU ARE THE OVERSEER");
    ASSERT_NE(title, nullptr);
    EXPECT_FLOAT_EQ(title->x, 310.0f);
    EXPECT_NE(find_text(cop, "If you notice any suspicious behavior, shoot on sight."), nullptr);
}

TEST_F(RoleRevealTest, ViewerWithoutRoleSeesWaitingCardAndFade) {
    world.add_human(1);
    reveal.init(world.global);
    world.add_human(20); // joined after the deal
    const DrawList& list = render(20);
    EXPECT_NE(find_text(list, "Waiting for the next game..."), nullptr);
    EXPECT_TRUE(commands_of_kind(list, DrawCommandKind::SPRITE).empty());
    EXPECT_EQ(list.back().kind, DrawCommandKind::RECT);
    EXPECT_EQ(list.back().color[3], 255);
    EXPECT_EQ(texts_of(render(99)).size(), 1u); // not even a record
}

} // namespace
} // namespace cog::test

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
        EXPECT_TRUE(bot.is_bot && bot.connected && bot.name.empty());
        EXPECT_EQ(bot.mask, static_cast<int32_t>((id + 3) % 8));
        EXPECT_EQ(role_of(id), PlayerRole::MASKED);
    }
    EXPECT_EQ(role_of(1), PlayerRole::MASKED);
    EXPECT_EQ(role_of(2), PlayerRole::COP);
    EXPECT_TRUE(console.contains("Filling with 7 bots (current: 2, max: 9)"));
    EXPECT_TRUE(console.contains("Created bot with ID: 9, mask: 4"));
    EXPECT_TRUE(console.contains("Role assignment: 2 real players, 7 bots"));
    EXPECT_TRUE(console.contains("Player 2 assigned role: COP"));
}

TEST_F(RoleRevealTest, LoneHumanIsOverseerAndBotIdsFollowADisconnectedOne) {
    world.add_human(1);
    world.add_human(5).connected = false;
    reveal.init(world.global);
    EXPECT_EQ(world.global.players.rbegin()->first, 13u); // bots 6..13
    EXPECT_EQ(world.global.roles.count(5), 0u);
    EXPECT_EQ(role_of(1), PlayerRole::COP);
    EXPECT_TRUE(console.contains("Role distribution: 0 MASKED, 1 COP"));
}

TEST_F(RoleRevealTest, FullOrBotOnlyTables) {
    for (uint32_t id = 1; id <= 9; ++id) world.add_bot(id);
    reveal.init(world.global);
    EXPECT_EQ(world.global.players.size(), 9u);
    EXPECT_FALSE(console.contains("Filling with"));
    EXPECT_FALSE(console.contains("Role distribution")); // nobody to be the Overseer
    EXPECT_TRUE(world.global.roles.empty());
}

TEST(RoleDeal, PermutationDependsOnlyOnIdsAndOrder) {
    std::vector<uint32_t> two{1, 2}, three{1, 2, 3};
    permute_real_players(two);
    permute_real_players(three);
    EXPECT_EQ(two, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(three, (std::vector<uint32_t>{1, 3, 2}));
}

TEST_F(RoleRevealTest, FadesInThenHoldsThenPushesGameSelect) {
    world.add_human(1);
    reveal.init(world.global);
    EXPECT_EQ(render(1).back().color[3], 255);
    reveal.update(1.5f);
    EXPECT_EQ(render(1).back().color[3], 127);

    EXPECT_EQ(run_frames(reveal, 2, 0.75f).kind, TransitionKind::NONE);
    EXPECT_EQ(reveal.phase, 1);
    EXPECT_EQ(commands_of_kind(render(1), DrawCommandKind::RECT).size(), 1u);
    EXPECT_EQ(run_frames(reveal, 9, 0.5f).kind, TransitionKind::NONE);
    const ScreenTransition t = reveal.update(0.5f);
    EXPECT_EQ(t.kind, TransitionKind::PUSH);
    EXPECT_EQ(t.screen, ScreenId::GAME_SELECT);
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
    // The mask of his seat, which his figure wears all game: (seat - 1 + 2) mod 8.
    const uint32_t seat = world.global.seats.at(1);
    EXPECT_EQ(sprites[1].asset_id, static_cast<uint16_t>(AssetId::MASK_1) + (seat + 1) % 8);
    EXPECT_NE(find_text(frame.list, "YOU ARE MASKED"), nullptr);

    EXPECT_TRUE(commands_of_kind(render(2), DrawCommandKind::SPRITE).empty());
    EXPECT_NE(find_text(frame.list, "YOU ARE THE OVERSEER"), nullptr);
}

TEST_F(RoleRevealTest, ViewerWithoutRoleSeesWaitingCardAndFade) {
    world.add_human(1);
    reveal.init(world.global);
    world.add_human(20); // joined after the deal
    const DrawList& list = render(20);
    EXPECT_EQ(texts_of(list), (std::vector<std::string>{"Waiting for the next game..."}));
    EXPECT_EQ(list.back().color, (Color{0, 0, 0, 255}));
    EXPECT_EQ(texts_of(render(99)).size(), 1u); // not even a record
}

} // namespace
} // namespace cog::test

// Lobby: ready marks, the all-ready countdown and its cancellation, the reset between games, the rows.
#include "server/screens/lobby/lobby_state.h"
#include "tests/flow/flow_support.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

const InputState SPACE = [] {
    InputState input;
    input.space = true;
    return input;
}();

class LobbyTest : public ::testing::Test {
protected:
    TestWorld world;
    ConsoleCapture console;
    LobbyState lobby;
    Frame frame;

    void start(std::initializer_list<uint32_t> humans) {
        for (uint32_t id : humans) world.add_human(id);
        push_like_host(lobby, world.global);
    }
    DrawList& render(uint32_t viewer) {
        frame.list.clear();
        lobby.render(viewer, frame.list);
        return frame.list;
    }
};

TEST_F(LobbyTest, SpaceCountsOnlyAfterTwoSeconds) {
    start({1});
    lobby.update(0.5f);
    lobby.handle_input(1, SPACE);
    EXPECT_FALSE(lobby.ready_players.at(1));
    const DrawCommand* footer = find_text(render(1), "Initializing lobby... 1.5s");
    ASSERT_NE(footer, nullptr);
    EXPECT_FLOAT_EQ(footer->x, 640.0f - 6.0f * 26.0f);

    run_frames(lobby, 3, 0.5f);
    lobby.handle_input(1, SPACE);
    lobby.handle_input(1, SPACE);
    EXPECT_TRUE(lobby.ready_players.at(1));
    EXPECT_EQ(console.count("[LOBBY] Player 1 marked READY (time_elapsed=2.00s)"), 1u);
}

TEST_F(LobbyTest, AllReadyCountsDownThreeSecondsThenPushesCrawl) {
    start({1});
    run_frames(lobby, 4, 0.5f);
    lobby.handle_input(1, SPACE);
    EXPECT_EQ(lobby.update(0.5f).kind, TransitionKind::NONE);
    EXPECT_FLOAT_EQ(lobby.countdown, 2.5f); // the starting frame already ticks
    EXPECT_TRUE(console.contains("All players ready, starting countdown"));
    const DrawCommand* three = find_text(render(1), "Starting in 3...");
    ASSERT_NE(three, nullptr);
    EXPECT_FLOAT_EQ(three->x, 640.0f - 12.0f * 16.0f);

    EXPECT_EQ(run_frames(lobby, 4, 0.5f).kind, TransitionKind::NONE);
    EXPECT_NE(find_text(render(1), "Starting in 1..."), nullptr);
    const ScreenTransition t = lobby.update(0.5f);
    EXPECT_EQ(t.kind, TransitionKind::PUSH);
    EXPECT_EQ(t.screen, ScreenId::CRAWL);
    EXPECT_TRUE(console.contains("Starting game with 1 players"));
}

TEST_F(LobbyTest, JoinReenterOrLeaveCancelsCountdown) {
    start({1});
    lobby.time_elapsed = 3;
    lobby.handle_input(1, SPACE);
    lobby.update(0.1f);
    world.add_human(2);
    lobby.on_player_enter(2);
    lobby.update(0.1f);
    EXPECT_FALSE(lobby.countdown_active);
    EXPECT_FLOAT_EQ(lobby.countdown, 3.0f);
    const auto rows = commands_of_kind(render(1), DrawCommandKind::RECT);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].color, (Color{40, 80, 40, 255})); // player 1 stays green
    EXPECT_EQ(rows[2].color, (Color{40, 40, 60, 255}));

    lobby.handle_input(2, SPACE);
    lobby.update(0.1f);
    lobby.on_player_enter(1); // a reconnect loses the mark
    lobby.update(0.1f);
    EXPECT_FALSE(lobby.countdown_active);

    lobby.on_player_leave(2);
    EXPECT_TRUE(console.contains("[LOBBY] Player 2 left lobby (was_ready=true, remaining_players=1)"));
    lobby.on_player_leave(1);
    lobby.on_player_leave(7);
    EXPECT_TRUE(console.contains("[LOBBY] Player 7 left lobby (was_ready=false, remaining_players=0)"));
    EXPECT_EQ(run_frames(lobby, 50, 0.1f).kind, TransitionKind::NONE); // nobody listed
}

TEST_F(LobbyTest, MountResetsTheFinishedGame) {
    world.add_human(1).is_dead = true;
    world.add_human(5);
    push_like_host(lobby, world.global);
    lobby.ready_players[5] = true;
    // Shot, then away when the game ends (his leave went to another screen): he must come back
    // alive, and his ready mark must not outlive him.
    PlayerConnection& away = world.add_human(2);
    away.is_dead = true;
    away.connected = false;
    world.global.players.at(5).connected = false;
    for (uint32_t bot : {3u, 4u}) {
        world.add_bot(bot);
        world.global.roles[bot] = PlayerRole::MASKED;
        lobby.ready_players[bot] = true;
    }
    world.global.roles[1] = PlayerRole::COP;
    world.global.next_minigame_count = 4;
    lobby.ready_players[1] = true;
    lobby.time_elapsed = 60;

    lobby.mount();
    EXPECT_EQ(world.global.next_minigame_count, 0);
    EXPECT_TRUE(world.global.roles.empty());
    EXPECT_EQ(world.global.players.size(), 3u);
    EXPECT_FALSE(world.global.players.at(1).is_dead);
    EXPECT_FALSE(world.global.players.at(2).is_dead);
    EXPECT_EQ(lobby.ready_players, (std::map<uint32_t, bool>{{1, false}}));
    EXPECT_TRUE(console.contains("[LOBBY] Removing bot player 4"));
    EXPECT_TRUE(console.contains("[LOBBY] Game state reset complete - 3 real players remaining"));
    EXPECT_NE(find_text(render(1), "Press SPACE key to start"), nullptr);
}

TEST_F(LobbyTest, RowsAreSortedByIdAndLabelled) {
    world.add_human(5, "Zed");
    world.add_human(2, "Amy");
    push_like_host(lobby, world.global);
    lobby.on_player_enter(3); // no record: labelled by id
    lobby.time_elapsed = 3;
    lobby.handle_input(5, SPACE);
    EXPECT_TRUE(console.contains("[LOBBY INIT] Added player 2 to ready_players - name='Amy'"));

    const DrawList& list = render(5);
    const char* labels[] = {"Player - Amy", "Player - Player 3", "Player - Zed"};
    for (int row = 0; row < 3; ++row) {
        const DrawCommand* label = find_text(list, labels[row]);
        ASSERT_NE(label, nullptr) << labels[row];
        EXPECT_FLOAT_EQ(label->y, 212.0f + 70.0f * static_cast<float>(row));
    }
    EXPECT_FLOAT_EQ(find_text(list, "Ready!")->y, 352.0f);
    EXPECT_NE(find_text(list, "waiting for other players..."), nullptr);
    EXPECT_NE(find_text(render(2), "Press SPACE key to start"), nullptr);
}

} // namespace
} // namespace cog::test

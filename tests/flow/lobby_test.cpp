// Lobby: ready marks, the all-ready countdown and its cancellation, the reset between games, the picture.
#include "server/screens/lobby/lobby_state.h"
#include "tests/flow/flow_support.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

constexpr Color ROW_READY{40, 80, 40, 255};

InputState space_held() {
    InputState input;
    input.space = true;
    return input;
}

class LobbyTest : public ::testing::Test {
protected:
    TestWorld world;
    ConsoleCapture console;
    LobbyState lobby;

    void start(std::initializer_list<uint32_t> humans) {
        for (uint32_t id : humans) world.add_human(id);
        push_like_host(lobby, world.global);
    }
    DrawList& render(uint32_t viewer) {
        frame = std::make_unique<Frame>();
        lobby.render(viewer, frame->list);
        return frame->list;
    }
    std::unique_ptr<Frame> frame;
};

TEST_F(LobbyTest, SpaceBeforeTwoSecondsIsIgnoredAndFooterCountsDown) {
    start({1});
    lobby.update(0.5f);
    lobby.handle_input(1, space_held());
    EXPECT_FALSE(lobby.ready_players.at(1));

    const std::string_view footer = "Initializing lobby... 1.5s";
    const DrawCommand* text = find_text(render(1), footer);
    ASSERT_NE(text, nullptr);
    EXPECT_FLOAT_EQ(text->x, 640.0f - 6.0f * static_cast<float>(footer.size()));
    EXPECT_FLOAT_EQ(text->y, 570.0f);
}

TEST_F(LobbyTest, SinglePlayerReadiesAndCountdownPushesCrawl) {
    start({1});
    run_frames(lobby, 4, 0.5f);
    lobby.handle_input(1, space_held());
    ASSERT_TRUE(lobby.ready_players.at(1));
    EXPECT_TRUE(console.contains("[LOBBY] Player 1 marked READY (time_elapsed=2.00s)"));
    lobby.handle_input(1, space_held());
    EXPECT_EQ(console.count("marked READY"), 1u);

    EXPECT_EQ(lobby.update(0.5f).kind, TransitionKind::NONE);
    EXPECT_TRUE(lobby.countdown_active);
    EXPECT_FLOAT_EQ(lobby.countdown, 2.5f); // the starting frame already ticks
    EXPECT_TRUE(console.contains("All players ready, starting countdown"));
    const std::string_view three = "Starting in 3...";
    const DrawCommand* text = find_text(render(1), three);
    ASSERT_NE(text, nullptr);
    EXPECT_FLOAT_EQ(text->x, 640.0f - 12.0f * static_cast<float>(three.size()));

    EXPECT_EQ(run_frames(lobby, 4, 0.5f).kind, TransitionKind::NONE); // 0.5 s left
    EXPECT_NE(find_text(render(1), "Starting in 1..."), nullptr);
    const ScreenTransition t = lobby.update(0.5f);
    EXPECT_EQ(t.kind, TransitionKind::PUSH);
    EXPECT_EQ(t.screen, ScreenId::CRAWL);
    EXPECT_TRUE(console.contains("Starting game with 1 players"));
}

TEST_F(LobbyTest, JoinOrUnreadyCancelsCountdown) {
    start({1});
    run_frames(lobby, 5, 0.5f);
    lobby.handle_input(1, space_held());
    lobby.update(0.5f);
    ASSERT_TRUE(lobby.countdown_active);

    world.add_human(2);
    lobby.on_player_enter(2);
    lobby.update(0.5f);
    EXPECT_FALSE(lobby.countdown_active);
    EXPECT_FLOAT_EQ(lobby.countdown, 3.0f);
    const auto rects = commands_of_kind(render(1), DrawCommandKind::RECT);
    ASSERT_EQ(rects.size(), 3u); // background and two rows
    EXPECT_EQ(rects[1].color, ROW_READY);
    EXPECT_EQ(rects[2].color, (Color{40, 40, 60, 255}));

    // A re-entering player loses his mark.
    lobby.handle_input(2, space_held());
    lobby.update(0.1f);
    ASSERT_TRUE(lobby.countdown_active);
    lobby.on_player_enter(1);
    lobby.update(0.1f);
    EXPECT_FALSE(lobby.countdown_active);
}

TEST_F(LobbyTest, LeaveReportsReadinessAndNobodyListedNeverStarts) {
    start({1, 2});
    run_frames(lobby, 5, 0.5f);
    lobby.handle_input(1, space_held());
    lobby.on_player_leave(1);
    EXPECT_TRUE(console.contains("[LOBBY] Player 1 left lobby (was_ready=true, remaining_players=1)"));
    lobby.on_player_leave(7);
    EXPECT_TRUE(console.contains("[LOBBY] Player 7 left lobby (was_ready=false, remaining_players=1)"));
    lobby.on_player_leave(2);
    EXPECT_EQ(run_frames(lobby, 100, 0.1f).kind, TransitionKind::NONE);
    EXPECT_FALSE(lobby.countdown_active);
}

TEST_F(LobbyTest, MountResetsTheFinishedGame) {
    world.add_human(1).is_dead = true;
    world.add_human(2).connected = false;
    world.add_human(4);
    push_like_host(lobby, world.global);
    for (uint32_t bot : {3u, 5u, 6u}) {
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
    EXPECT_EQ(lobby.ready_players, (std::map<uint32_t, bool>{{1, false}, {4, false}}));
    EXPECT_TRUE(console.contains("[LOBBY] Removing bot player 5"));
    EXPECT_TRUE(console.contains("[LOBBY] Game state reset complete - 3 real players remaining"));
    EXPECT_NE(find_text(render(1), "Press SPACE key to start"), nullptr);
}

TEST_F(LobbyTest, RowsAreSortedAndLabelled) {
    world.add_human(5, "Zed");
    world.add_human(2, "Amy");
    push_like_host(lobby, world.global);
    lobby.on_player_enter(3); // no record: labelled by id
    lobby.time_elapsed = 3;
    lobby.handle_input(5, space_held());
    EXPECT_TRUE(console.contains("[LOBBY INIT] Added player 2 to ready_players - name='Amy'"));
    EXPECT_TRUE(console.contains("[LOBBY INIT] Completed - min_players=1, ready_players count=2"));

    const DrawList& list = render(5);
    const char* labels[] = {"Player - Amy", "Player - Player 3", "Player - Zed"};
    for (int row = 0; row < 3; ++row) {
        const DrawCommand* label = find_text(list, labels[row]);
        ASSERT_NE(label, nullptr) << labels[row];
        EXPECT_FLOAT_EQ(label->x, 390.0f);
        EXPECT_FLOAT_EQ(label->y, 212.0f + 70.0f * static_cast<float>(row));
    }
    const DrawCommand* ready = find_text(list, "Ready!");
    ASSERT_NE(ready, nullptr);
    EXPECT_FLOAT_EQ(ready->y, 212.0f + 140.0f);
    EXPECT_EQ(find_text(list, "Player - Zed")->color, (Color{100, 255, 100, 255}));
    EXPECT_NE(find_text(list, "waiting for other players..."), nullptr);
    EXPECT_NE(find_text(render(2), "Press SPACE key to start"), nullptr);
}

} // namespace
} // namespace cog::test

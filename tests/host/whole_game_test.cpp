// Whole games played by two real clients, from the lobby to the end screen and back.
#include "tests/host/host_harness.h"

#include "server/screens/typewriter/typewriter_state.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace cog::test {
namespace {

constexpr int64_t FRAME_NS = 100'000'000; // fake time per frame: 16 ms paced + 84 ms of "work"

struct GameFixture : ::testing::Test {
    HostHarness h;
    std::unique_ptr<TestClient> ann, bob; // ids 1 and 2
    std::string ann_picture, bob_picture; // last DRAW_COMMANDS bodies
    std::vector<Event> ann_events, bob_events;
    std::vector<std::string> ann_told, bob_told; // the game's own lines (chat from sender 0)
    int max_depth = 0;

    void SetUp() override {
        ASSERT_TRUE(h.start());
        ann = std::make_unique<TestClient>(h.port());
        bob = std::make_unique<TestClient>(h.port());
        ASSERT_EQ(h.login(*ann, "Ann"), 1u);
        ASSERT_EQ(h.login(*bob, "Bob"), 2u);
    }

    static void collect(TestClient& client, std::string& picture, std::vector<Event>& events,
                        std::vector<std::string>& told) {
        for (auto& m : client.receive_all(0)) {
            if (m.message.kind == ServerMessageKind::DRAW_COMMANDS) picture = m.body;
            else {
                Event e = m.message.event;
                if (e.kind == EventKind::CHAT_MESSAGE && e.sender_id == 0) told.emplace_back(e.message);
                e.player_name = {};
                e.message = {};
                events.push_back(e);
            }
        }
    }

    // One frame of 100 ms; both clients read everything so their sockets never fill.
    void frame() {
        h.clock.advance_ns(FRAME_NS - 16'000'000);
        h.frames(1);
        if (ann) collect(*ann, ann_picture, ann_events, ann_told);
        if (bob) collect(*bob, bob_picture, bob_events, bob_told);
        max_depth = std::max(max_depth, h.state().screen_stack.count);
    }
    bool run_until(const std::function<bool()>& done, double max_seconds) {
        for (int i = 0; i < max_seconds * 10; ++i) {
            if (done()) return true;
            frame();
        }
        return done();
    }
    ScreenId top() { return h.state().screen_stack.top()->id; }
    static size_t sounds(const std::vector<Event>& events, SoundId id) {
        size_t n = 0;
        for (const Event& e : events) n += e.kind == EventKind::PLAY_SOUND && e.sound_id == static_cast<uint16_t>(id);
        return n;
    }
    static bool was_told(const std::vector<std::string>& told, const std::string& line) {
        for (const std::string& message : told)
            if (message == line || message.find(line + "\n") == 0 || message.find("\n" + line) != std::string::npos)
                return true;
        return false;
    }
    static bool shows(const std::string& picture, const char* text) {
        return picture.find(std::string("\"text\":\"") + text + "\"") != std::string::npos;
    }
    // Writes a picture for a look with the frame viewer when COG_FRAME_DUMP names a folder.
    static void dump(const std::string& picture, const char* name) {
        const char* folder = std::getenv("COG_FRAME_DUMP");
        if (!folder) return;
        if (FILE* f = std::fopen((std::string(folder) + "/" + name + ".json").c_str(), "w")) {
            std::fwrite(picture.data(), 1, picture.size(), f);
            std::fclose(f);
        }
    }
    void press_space_after_lobby_delay() {
        run_until([] { return false; }, 2.1);
        InputState space;
        space.space = true;
        ann->send_input(space);
        bob->send_input(space);
    }
};

TEST_F(GameFixture, FiveMinigamesThenTheMaskedWinAndEveryoneIsBackInTheLobby) {
    dump(ann_picture, "lobby");
    press_space_after_lobby_delay();
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::CRAWL; }, 5));
    run_until([] { return false; }, 10);
    dump(ann_picture, "crawl");
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::ROLE_REVEAL; }, 31));
    // Two humans (1, 2) fill up with seven bots; the deal makes player 2 the Overseer.
    EXPECT_EQ(h.state().global.players.size(), 9u);
    EXPECT_EQ(h.state().global.roles.at(2), PlayerRole::COP);
    EXPECT_EQ(h.state().global.roles.at(1), PlayerRole::MASKED);
    frame();
    dump(ann_picture, "role_reveal_masked");
    EXPECT_TRUE(shows(ann_picture, "YOU ARE MASKED"));
    EXPECT_TRUE(shows(bob_picture, "YOU ARE THE OVERSEER"));

    int minigames = 0;
    ScreenId last = top();
    ASSERT_TRUE(run_until(
        [&] {
            const ScreenId now = top();
            if (now != last && (now == ScreenId::TYPEWRITER || now == ScreenId::DOORS || now == ScreenId::METRO))
                ++minigames;
            if (now == ScreenId::TYPEWRITER && ann_picture.find("Word ") != std::string::npos)
                dump(ann_picture, "typewriter_masked");
            if (now == ScreenId::GAME_SELECT) dump(ann_picture, shows(ann_picture, "Rolling...") ? "select_rolling" : "select_result");
            last = now;
            return now == ScreenId::END;
        },
        5 * 70 + 60));
    EXPECT_EQ(minigames, 5);
    EXPECT_LE(max_depth, 15);
    EXPECT_EQ(sounds(ann_events, SoundId::MUSIC_HUMAN_WIN), 1u);
    frame();
    dump(ann_picture, "end_masked");
    EXPECT_TRUE(run_until([&] { return shows(ann_picture, "YOU WIN") && shows(bob_picture, "YOU LOSE"); }, 1));

    ASSERT_TRUE(run_until([&] { return top() == ScreenId::LOBBY; }, 8));
    EXPECT_EQ(h.state().screen_stack.count, 1);
    EXPECT_EQ(h.state().global.players.size(), 2u); // bots gone
    EXPECT_TRUE(h.state().global.roles.empty());
    EXPECT_EQ(h.state().global.next_minigame_count, 0);
    frame();
    EXPECT_TRUE(shows(ann_picture, "Press SPACE key to start"));
}

TEST_F(GameFixture, TheOverseerShootsTheOnlyMaskedHumanAndWins) {
    ann->send_command("role masked");
    bob->send_command("role cop");
    bob->send_command("push typewriter");
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::TYPEWRITER; }, 1));
    // The briefing lasts 20 s; then Bob clicks on the first figure of the grid: Ann.
    ASSERT_TRUE(run_until([&] { return shows(bob_picture, "OBSERVER MODE"); }, 21));
    dump(bob_picture, "typewriter_overseer");
    InputState aim;
    aim.mouse_x = 230;
    aim.mouse_y = 250;
    bob->send_input(aim);
    frame();
    aim.mouse_left = true;
    bob->send_input(aim);
    frame();
    auto& typing = static_cast<typewriter::TypewriterState&>(*h.state().screen_stack.top()->data);
    ASSERT_EQ(typing.phase, typewriter::SHOOTING);
    EXPECT_EQ(typing.shot_player_id, 1u);
    EXPECT_EQ(sounds(ann_events, SoundId::SFX_GUNSHOT), 1u);
    ASSERT_TRUE(run_until([&] { return shows(ann_picture, "It was a HUMAN!"); }, 4));
    dump(bob_picture, "shot_reveal");
    // Shot, Ann closes her client. Eight seconds after the shot a game select is pushed; it
    // finds nobody left to catch.
    ann->close();
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::END; }, 6));
    EXPECT_TRUE(h.state().global.players.at(1).is_dead);
    EXPECT_EQ(sounds(bob_events, SoundId::MUSIC_OVERSEER_WIN), 1u);
    frame();
    EXPECT_TRUE(run_until([&] { return shows(bob_picture, "YOU WIN"); }, 1));
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::LOBBY; }, 8));

    // Back in the lobby she comes back with the id of her INIT and her name: her own seat,
    // alive, and in the next game.
    ann = std::make_unique<TestClient>(h.port());
    ASSERT_EQ(h.login(*ann, "Ann", 1), 1u);
    EXPECT_FALSE(h.state().global.players.at(1).is_dead);
    press_space_after_lobby_delay();
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::ROLE_REVEAL; }, 40));
    EXPECT_EQ(h.state().global.roles.count(1), 1u);
    EXPECT_FALSE(h.state().global.players.at(1).is_dead);
    EXPECT_EQ(h.state().global.players.size(), 9u);
}

TEST_F(GameFixture, TheGameTellsTheShotTheEndAndWhoLeftTheLobby) {
    ann->send_command("role masked");
    bob->send_command("role cop");
    bob->send_command("push typewriter");
    ASSERT_TRUE(run_until([&] { return shows(bob_picture, "OBSERVER MODE"); }, 22));
    InputState aim;
    aim.mouse_x = 230;
    aim.mouse_y = 250;
    bob->send_input(aim);
    frame();
    aim.mouse_left = true;
    bob->send_input(aim);
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::END; }, 14));
    frame();
    EXPECT_TRUE(was_told(ann_told, "You were shot: you watch the rest of the game"));
    EXPECT_FALSE(was_told(bob_told, "You were shot: you watch the rest of the game"));
    for (const auto* told : {&ann_told, &bob_told}) {
        EXPECT_TRUE(was_told(*told, "The Overseer was Bob."));
        EXPECT_TRUE(was_told(*told, "Typing pool: Ann was shot \u2014 a HUMAN."));
    }

    ASSERT_TRUE(run_until([&] { return top() == ScreenId::LOBBY; }, 8));
    ann->close();
    ann.reset();
    ASSERT_TRUE(run_until([&] { return was_told(bob_told, "Ann left"); }, 1));
}

// Seats hold for the whole game: the player who comes back, and the newcomer who takes a
// robot's place, keep the seat and the label that went with it.
TEST_F(GameFixture, AReturningPlayerAndOneTakingARobotsPlaceKeepTheSeat) {
    press_space_after_lobby_delay();
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::ROLE_REVEAL; }, 36));
    const std::map<uint32_t, uint32_t> dealt = h.state().global.seats;
    ASSERT_EQ(dealt.size(), 9u);
    bob->send_command("push typewriter");
    ASSERT_TRUE(run_until([&] { return top() == ScreenId::TYPEWRITER; }, 1));

    ann->close();
    run_until([] { return false; }, 0.5);
    ann = std::make_unique<TestClient>(h.port());
    ASSERT_EQ(h.login(*ann, "Ann", 1), 1u);
    auto cy = std::make_unique<TestClient>(h.port());
    ASSERT_EQ(h.login(*cy, "Cy"), 3u); // the id of the first robot, which Cy replaces
    EXPECT_FALSE(h.state().global.players.at(3).is_bot);
    EXPECT_EQ(h.state().global.seats, dealt);
    run_until([] { return false; }, 1);
    cy->close();
    // Whoever is not the Overseer sees Cy's figure labelled with the robot's seat.
    const uint32_t viewer = h.state().global.roles.at(1) == PlayerRole::COP ? 2 : 1;
    const std::string& picture = viewer == 1 ? ann_picture : bob_picture;
    EXPECT_TRUE(shows(picture, ("Player " + std::to_string(dealt.at(3))).c_str()));
    dump(picture, "typewriter_seats");
    if (!std::getenv("COG_FRAME_DUMP")) return;
    // For a look: the other minigames of a dealt game.
    for (const char* kind : {"metro", "doors"}) {
        bob->send_command(std::string("push ") + kind);
        run_until([] { return false; }, 12);
        dump(picture, (std::string(kind) + "_seats").c_str());
    }
}

} // namespace
} // namespace cog::test

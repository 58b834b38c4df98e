// The door memorization over real sockets: a masked human plays it through, the Overseer watches.
#include "tests/host/host_harness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace cog::test {
namespace {

constexpr int64_t WORK_NS = 84'000'000; // fake time per frame beside the host's 16 ms pacing

const DrawCommand* find(const DrawList& picture, DrawCommandKind kind, std::string_view text, AssetId asset = {}) {
    for (const DrawCommand& c : picture)
        if (c.kind == kind && c.text == text && c.asset_id == uint16_t(asset)) return &c;
    return nullptr;
}

// What a player sees, read back from her latest picture the way a person would.
struct Viewer {
    std::unique_ptr<TestClient> client;
    ReceivedMessage picture;
    std::array<int, 3> learned{-1, -1, -1}; // button each cell was seen pressed at; -1 unknown

    void receive() {
        for (auto& m : client->receive_all(0))
            if (m.message.kind == ServerMessageKind::DRAW_COMMANDS) picture = std::move(m);
    }
    const DrawList& commands() const { return picture.message.commands; }
    bool sees(std::string_view text) const { return find(commands(), DrawCommandKind::TEXT, text) != nullptr; }
    // Her figure is drawn and shows no status any more: past the last door.
    bool through() const { return sees("YOU") && !sees("WAITING") && !sees("ACTIVE") && !sees("DONE"); }
    void dump(const char* name) const {
        const char* folder = std::getenv("COG_FRAME_DUMP");
        if (FILE* f = folder ? std::fopen((std::string(folder) + "/doors_" + name + ".json").c_str(), "w") : nullptr) {
            std::fwrite(picture.body.data(), 1, picture.body.size(), f);
            std::fclose(f);
        }
    }

    // Lit buttons: cell from x, row and then button from y.
    void watch_buttons() {
        for (const DrawCommand& c : commands()) {
            if (c.kind != DrawCommandKind::SPRITE || c.asset_id != uint16_t(AssetId::BUTTON_PRESSED)) continue;
            int row = int(c.y - 60) / 330;
            learned[size_t(std::lround((c.x - 220) / 240))] = int(std::lround((c.y - 60 - 330 * row) / 70));
        }
    }

    // SPACE while her own hand is well inside the button her cell was seen to want: the hand moves
    // on while the press travels to the host.
    bool should_press() const {
        const DrawCommand* you = find(commands(), DrawCommandKind::TEXT, "YOU");
        if (!you || !sees("ACTIVE")) return false;
        float x = you->x - 76, y = you->y + 25; // her figure's corner
        int want = learned[size_t(std::clamp(std::lround((x - 80) / 240), 0L, 2L))];
        for (const DrawCommand& c : commands())
            if (c.kind == DrawCommandKind::SPRITE && c.asset_id == uint16_t(AssetId::POINTING_HAND) && c.x == x - 60)
                return want >= 0 && std::fabs((c.y - y + 130) / 70 - float(want)) <= 0.35f;
        return false;
    }
};

struct DoorsGame : ::testing::Test {
    HostHarness h;
    Viewer ann, bob; // ids 1 (masked) and 2 (Overseer)

    void SetUp() override {
        ASSERT_TRUE(h.start());
        ann.client = std::make_unique<TestClient>(h.port());
        bob.client = std::make_unique<TestClient>(h.port());
        ASSERT_EQ(h.login(*ann.client, "Ann"), 1u);
        ASSERT_EQ(h.login(*bob.client, "Bob"), 2u);
    }
    void frame() {
        h.clock.advance_ns(WORK_NS);
        h.frames(1);
        ann.receive();
        bob.receive();
    }
    // Ann plays every frame; true once `done` holds.
    template <class Done>
    bool play_until(Done done, int max_frames) {
        for (int i = 0; i < max_frames && !done(); ++i) {
            ann.watch_buttons();
            InputState input;
            input.space = ann.should_press();
            ann.client->send_input(input);
            frame();
        }
        return done();
    }
    ScreenId top() { return h.state().screen_stack.top()->id; }
};

TEST_F(DoorsGame, AMaskedHumanClocksInThroughEveryDoorWhileTheOverseerWatches) {
    ann.client->send_command("push role_reveal"); // seats seven bots
    ASSERT_TRUE(play_until([&] { return top() == ScreenId::ROLE_REVEAL; }, 10));
    ann.client->send_command("role masked");
    bob.client->send_command("role cop");
    bob.client->send_command("push doors");
    ASSERT_TRUE(play_until([&] { return top() == ScreenId::DOORS && ann.sees("Starting in 5..."); }, 10));
    EXPECT_TRUE(ann.sees("Press SPACE when your hand aligns with the button"));
    ann.dump("intro_masked");
    ASSERT_TRUE(play_until([&] { return bob.sees("- Mr. GEARS"); }, 100));
    bob.dump("briefing_overseer");
    ASSERT_TRUE(play_until([&] { return ann.sees("THE OVERSEER IS WATCHING..."); }, 100));
    ann.dump("game_start_masked");
    ASSERT_TRUE(play_until([&] { return ann.sees("ACTIVE") && bob.sees("OBSERVER MODE"); }, 600));
    ann.dump("active_masked");
    bob.dump("active_overseer");
    ASSERT_TRUE(play_until([&] { return ann.through(); }, 900));
    EXPECT_EQ(std::count(ann.learned.begin(), ann.learned.end(), -1), 0);
    ASSERT_TRUE(play_until([&] { return bob.sees("JUDGEMENT TIME"); }, 600));
    EXPECT_TRUE(ann.sees("Judgement Day! Stay still and hope for the best."));
    ann.dump("judgement_masked");
    bob.dump("judgement_overseer");
    ASSERT_TRUE(play_until([&] { return ann.sees("ALL PLAYERS ESCAPED!"); }, 100));
    ann.dump("game_over_masked");
    ASSERT_TRUE(play_until([&] { return top() == ScreenId::GAME_SELECT; }, 40));
    EXPECT_FALSE(h.state().global.players.at(1).is_dead);
}

} // namespace
} // namespace cog::test

// A metro ride over real sockets: a masked human balances from the practice to the end while the
// Overseer watches, and the ride moves on to a game select.
#include "tests/host/host_harness.h"

#include "server/screens/metro/metro_state.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

namespace cog::test {
namespace {

constexpr int64_t WORK_NS = 84'000'000; // with the 16 ms pacing sleep: frames of 100 ms

// One connected player and what it last saw and heard.
struct Rider {
    std::unique_ptr<TestClient> client;
    uint32_t id = 0;
    std::string picture;   // the latest DRAW_COMMANDS body
    size_t metro_music = 0; // MUSIC_METRO requests heard

    void read() {
        for (ReceivedMessage& m : client->receive_all(0)) {
            const Event& e = m.message.event;
            if (m.message.kind == ServerMessageKind::DRAW_COMMANDS) picture = std::move(m.body);
            else if (e.kind == EventKind::PLAY_SOUND && e.sound_id == uint16_t(SoundId::MUSIC_METRO)) ++metro_music;
        }
    }
    bool sees(std::string_view text) const {
        return picture.find("\"text\":\"" + std::string(text) + "\"") != std::string::npos;
    }
    // Writes the picture for the frame viewer when COG_FRAME_DUMP names a folder.
    void keep(const char* name) const {
        const char* folder = std::getenv("COG_FRAME_DUMP");
        if (folder) std::ofstream(std::string(folder) + "/" + name + ".json") << picture;
    }
};

struct MetroRideTest : ::testing::Test {
    HostHarness h;
    Rider ann, bob; // masked and Overseer

    void SetUp() override {
        ASSERT_TRUE(h.start());
        for (Rider* r : {&ann, &bob}) r->client = std::make_unique<TestClient>(h.port());
        ann.id = h.login(*ann.client, "Ann");
        bob.id = h.login(*bob.client, "Bob");
        ann.client->send_command("role masked");
        bob.client->send_command("role cop");
        bob.client->send_command("push metro");
        ASSERT_TRUE(ride_until([&] { return top() == ScreenId::METRO; }, 1));
    }

    ScreenId top() { return h.state().screen_stack.top()->id; }
    metro::MetroState& car() { return static_cast<metro::MetroState&>(*h.state().screen_stack.top()->data); }

    // One 100 ms frame; both players read everything, so their sockets never fill.
    void frame() {
        h.clock.advance_ns(WORK_NS);
        h.frames(1);
        ann.read();
        bob.read();
    }
    bool ride_until(const std::function<bool()>& done, double seconds) {
        for (int i = 0; i < seconds * 10 && !done(); ++i) frame();
        return done();
    }
    // Ann holds the arrow her prompt names.
    void balance() {
        InputState keys;
        keys.left = ann.sees("<< PRESS LEFT <<");
        keys.right = ann.sees(">> PRESS RIGHT >>");
        ann.client->send_input(keys);
    }
};

TEST_F(MetroRideTest, AMaskedHumanBalancesFromThePracticeToTheEnd) {
    EXPECT_EQ(ann.metro_music, 2u); // init and mount each ask for the music
    ride_until([] { return false; }, 3);
    EXPECT_TRUE(ann.sees("PRACTICE MODE"));
    EXPECT_TRUE(bob.sees("Overseer,"));
    ann.keep("metro_practice_masked");
    bob.keep("metro_briefing_overseer");

    float worst_tilt = 0; // degrees
    int frames = 30;
    while (top() == ScreenId::METRO && frames < 500) {
        balance();
        frame();
        ++frames;
        if (top() != ScreenId::METRO) break;
        worst_tilt = std::max(worst_tilt, std::fabs(car().passengers.at(ann.id).tilt));
        if (frames == 90) ann.keep("metro_ride_hidden_masked");
        if (frames == 120) {
            EXPECT_TRUE(bob.sees("Click a passenger to shoot"));
            bob.keep("metro_ride_overseer");
        }
        if (frames == 200) ann.keep("metro_ride_visible_masked");
    }
    EXPECT_NEAR(frames / 10.0, 37.0, 0.25); // 7 s practice, 10 s hidden, 20 s watched
    EXPECT_EQ(top(), ScreenId::GAME_SELECT);
    // Following the prompt, Ann never falls the way an uncountered human does (60 degrees).
    EXPECT_LT(worst_tilt, 52.0f);
    EXPECT_FALSE(h.state().global.players.at(ann.id).is_dead);
}

} // namespace
} // namespace cog::test

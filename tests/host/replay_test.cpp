// A game recorded over real sockets replays to the same pictures; a changed input is reported
// where it first shows; a replayed picture draws as its player saw it.
#include "replay/picture_png.h"
#include "replay/recording.h"
#include "replay/replayer.h"
#include "server/main/recorder.h"
#include "server/screens/metro/metro_aim.h"
#include "server/screens/metro/metro_state.h"
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <optional>
#include <unistd.h>

namespace cog::test {
namespace {

constexpr int64_t WORK_NS = 84'000'000; // with the 16 ms pacing sleep: frames of 100 ms

struct RecordedGame : ::testing::Test {
    std::string path = "/tmp/cogwell-replay-test-" + std::to_string(getpid()) + ".rec";
    std::unique_ptr<Recorder> recorder = Recorder::open(path, 99); // the harness's seed
    std::optional<RecordingClock> clock;
    SystemClock instruments;
    std::unique_ptr<HostHarness> h;
    std::unique_ptr<TestClient> ann, bob;

    void TearDown() override { std::remove(path.c_str()); }

    void frame() {
        h->clock.advance_ns(WORK_NS);
        h->frames(1);
        ann->receive_all(0);
        bob->receive_all(0);
    }
    ScreenId top() { return h->state().screen_stack.top()->id; }

    // Logins, a reconnection, debug commands, a metro ride in which the Overseer shoots Ann.
    void play() {
        h = std::make_unique<HostHarness>(false, 0, DebugCommandsMode::OPEN, false, [&](HostConfig& config) {
            clock.emplace(*config.clock, *recorder);
            config.clock = &*clock;
            config.instrument_clock = &instruments;
            config.observer = recorder.get();
        });
        EXPECT_TRUE(h->start());
        ann = std::make_unique<TestClient>(h->port());
        bob = std::make_unique<TestClient>(h->port());
        EXPECT_EQ(h->login(*ann, "Ann"), 1u);
        EXPECT_EQ(h->login(*bob, "Bob"), 2u);
        bob->close();
        h->frames(3);
        bob = std::make_unique<TestClient>(h->port());
        EXPECT_EQ(h->login(*bob, "Bob", 2), 2u);
        ann->send_command("role masked");
        bob->send_command("role cop");
        bob->send_command("push metro");
        size_t frames = 0, shot_frame = 0;
        for (; (frames < 300 && top() == ScreenId::METRO) || frames < 5; ++frames) {
            InputState aim;
            if (frames > 200 && shot_frame == 0 && top() == ScreenId::METRO) {
                // The Overseer aims at Ann once the car is watched, and clicks.
                const auto& car = static_cast<const metro::MetroState&>(*h->state().screen_stack.top()->data);
                for (float x = 0; x < 1280 && shot_frame == 0; x += 8) {
                    for (float y = 200; y < 700; y += 8) {
                        if (metro::passenger_at(car, x, y) != std::optional<uint32_t>(1u)) continue;
                        aim.mouse_x = x;
                        aim.mouse_y = y;
                        aim.mouse_left = true;
                        shot_frame = frames;
                        break;
                    }
                }
            }
            bob->send_input(aim);
            frame();
        }
        EXPECT_TRUE(h->state().global.players.at(1).is_dead);
        EXPECT_NE(shot_frame, 0u);
        h.reset();
        recorder.reset(); // the file is complete
    }
};

TEST_F(RecordedGame, ReplaysIdenticallyAndShowsWhereAChangedInputDiverges) {
    ASSERT_NE(recorder, nullptr);
    play();
    size_t recorded_frames = 0;
    {
        replay::RecordingReader counter;
        ASSERT_EQ(counter.open(path), replay::LoadError::None);
        for (replay::RecordedFrame frame; counter.next_frame(frame);) ++recorded_frames;
        EXPECT_EQ(counter.error(), replay::LoadError::None);
    }
    EXPECT_GT(recorded_frames, 200u);
    replay::RecordingReader recording;
    ASSERT_EQ(recording.open(path), replay::LoadError::None);
    const replay::ReplayReport same = replay::run_replay(recording, true);
    EXPECT_TRUE(same.identical) << "frame " << same.first.frame << " player " << same.first.player << ": "
                                << same.first.what;
    EXPECT_EQ(recording.error(), replay::LoadError::None);
    EXPECT_EQ(same.frames, recorded_frames);
    EXPECT_EQ(same.players, 2u);

    // The Overseer's click, moved off Ann: from that frame on, the game is another.
    size_t click_frame = 0;
    bool moved = false;
    replay::RecordingReader again;
    ASSERT_EQ(again.open(path), replay::LoadError::None);
    const replay::ReplayReport changed =
        replay::run_replay(again, true, 0, {}, [&](size_t index, replay::RecordedFrame& frame) {
            for (replay::RecordedMessage& m : frame.messages) {
                if (moved || m.id != 2 || m.body.find("\"mouse_left\":true") == std::string::npos) continue;
                m.body.replace(m.body.find("\"mouse_x\":") + 10, 1, "9");
                click_frame = index;
                moved = true;
            }
        });
    ASSERT_TRUE(moved);
    EXPECT_FALSE(changed.identical);
    EXPECT_EQ(changed.first.frame, click_frame);
    EXPECT_EQ(changed.frames, click_frame + 1); // it stopped there
}

TEST_F(RecordedGame, APlayersPictureIsDrawnAsTheClientDrawsIt) {
    ASSERT_NE(recorder, nullptr);
    play();
    replay::RecordingReader recording;
    ASSERT_EQ(recording.open(path), replay::LoadError::None);
    std::string body;
    replay::run_replay(recording, false, 1, [&](double, std::string_view picture) {
        body = picture;
        return false; // Ann's first picture: the lobby
    });
    ASSERT_FALSE(body.empty());
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    ASSERT_FALSE(read_json(body, message, &arena));
    ASSERT_FALSE(message.commands.empty());
    const DrawCommand& background = message.commands.front();
    ASSERT_EQ(background.kind, DrawCommandKind::RECT);

    const std::string png = path + ".png";
    ASSERT_EQ(replay::save_picture_png(body, png, 640, 360), replay::PngError::None);
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load(png.c_str(), &width, &height, &channels, 3);
    std::remove(png.c_str());
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 360);
    // The lobby's background fills the corner; its title is drawn in white near the top middle.
    const unsigned char* corner = pixels + (5 * width + 5) * 3;
    EXPECT_EQ(corner[0], background.color[0]);
    EXPECT_EQ(corner[1], background.color[1]);
    EXPECT_EQ(corner[2], background.color[2]);
    int bright = 0;
    for (int y = 35; y < 60; ++y)
        for (int x = 190; x < 400; ++x) bright += pixels[(y * width + x) * 3] > 200;
    EXPECT_GT(bright, 50);
    stbi_image_free(pixels);
}

// A recorded picture the replay never sends, even the frame's last one, is a difference.
TEST_F(RecordedGame, ARecordedPictureTheReplayDoesNotSendIsADifference) {
    ASSERT_NE(recorder, nullptr);
    play();
    replay::RecordingReader recording;
    ASSERT_EQ(recording.open(path), replay::LoadError::None);
    size_t edited = 0;
    const replay::ReplayReport report =
        replay::run_replay(recording, true, 0, {}, [&](size_t index, replay::RecordedFrame& frame) {
            if (edited != 0 || index < 10 || frame.pictures.empty()) return;
            frame.pictures.push_back(frame.pictures.back());
            edited = index;
        });
    ASSERT_NE(edited, 0u);
    EXPECT_FALSE(report.identical);
    EXPECT_EQ(report.first.frame, edited);
    EXPECT_EQ(report.first.what, "a recorded picture was not sent");
}

// A disk that refuses the recording costs the recording, said once in the log, never the game.
TEST(Recording, AFailingDiskEndsTheRecordingNotTheGame) {
    ConsoleCapture console;
    std::unique_ptr<Recorder> recorder = Recorder::open("/dev/full", 7);
    ASSERT_NE(recorder, nullptr);
    const std::string body(4096, 'x');
    for (int frame = 0; frame < 200 && !recorder->failed(); ++frame) {
        recorder->frame_begun();
        recorder->message(1, body);
        recorder->frame_ended();
        usleep(1000);
    }
    EXPECT_TRUE(recorder->failed());
    for (int frame = 0; frame < 3; ++frame) {
        recorder->frame_begun();
        recorder->frame_ended();
    }
    recorder.reset();
    EXPECT_EQ(console.count("Writing the recording failed"), 1u);
}

// Recordings written straight through the recorder and read back through the replay's reader.
struct RecordingFile : ::testing::Test {
    std::string path = "/tmp/cogwell-recording-test-" + std::to_string(getpid()) + ".rec";
    std::unique_ptr<Recorder> recorder = Recorder::open(path, 7);
    void SetUp() override {
        ASSERT_NE(recorder, nullptr);
        recorder->host_started(DebugCommandsMode::OPEN, "");
    }
    void TearDown() override { std::remove(path.c_str()); }
    void frame(std::string_view body) {
        recorder->frame_begun();
        recorder->message(1, body);
        recorder->frame_ended();
    }
    static off_t size_of(const std::string& file) {
        struct stat info{};
        return stat(file.c_str(), &info) == 0 ? info.st_size : -1;
    }
    // Waits until the writer has put out what it was handed: the file grows after each batch.
    void wait_written(off_t before) {
        for (int i = 0; i < 2000 && size_of(path) == before; ++i) usleep(1000);
    }
    // Frames read from `file`, and how the reading ended.
    static std::pair<size_t, replay::LoadError> read_back(const std::string& file) {
        replay::RecordingReader reader;
        if (const replay::LoadError error = reader.open(file); error != replay::LoadError::None) return {0, error};
        size_t frames = 0;
        for (replay::RecordedFrame f; reader.next_frame(f);) ++frames;
        return {frames, reader.error()};
    }
};

// The bound on waiting records is on what waits, not on what was ever written.
TEST_F(RecordingFile, AGameLongerThanTheQueueBoundIsRecordedWhole) {
    ConsoleCapture console;
    const std::string body(1 << 20, 'x');
    const size_t frames = Recorder::MAX_QUEUED_BYTES / body.size() + 16;
    for (size_t i = 0; i < frames && !recorder->failed(); ++i) {
        const off_t before = size_of(path);
        frame(body);
        wait_written(before);
    }
    EXPECT_FALSE(recorder->failed());
    recorder.reset();
    EXPECT_FALSE(console.contains("Writing the recording failed"));
    EXPECT_EQ(read_back(path), std::make_pair(frames, replay::LoadError::None));
}

// A host that dies leaves the file as it was last flushed: whole frames, but no end. The reader
// gives every frame and says the recording was cut short; the finished file reads as whole.
TEST_F(RecordingFile, ARecordingLeftByACrashedHostReadsAsCutShort) {
    for (int i = 0; i < 5; ++i) frame("{\"kind\":1}");
    const std::string crashed = path + ".crashed";
    off_t size = -1;
    for (int i = 0; i < 200 && (size <= 0 || size != size_of(path)); ++i) {
        size = size_of(path);
        usleep(20'000);
    }
    std::filesystem::copy_file(path, crashed);
    recorder.reset();
    EXPECT_EQ(read_back(crashed), std::make_pair(size_t{5}, replay::LoadError::Truncated));
    EXPECT_EQ(read_back(path), std::make_pair(size_t{5}, replay::LoadError::None));
    std::remove(crashed.c_str());
}

} // namespace
} // namespace cog::test

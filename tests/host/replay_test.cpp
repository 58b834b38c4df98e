// A game recorded over real sockets replays to the same pictures; a changed input is reported
// where it first shows; a replayed picture draws as its player saw it.
#include "replay/picture_png.h"
#include "replay/recording.h"
#include "replay/replayer.h"
#include "server/main/recorder.h"
#include "server/screens/metro/metro_aim.h"
#include "server/screens/metro/metro_state.h"
#include "shared/protocol/json.h"
#include "tests/host/host_harness.h"
#include "tests/ws_client/ws_client.h"

#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// A port nobody listens on right now, for the options of a program started apart.
uint16_t free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    socklen_t size = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
    close(fd);
    return ntohs(addr.sin_port);
}

// The real host program with the real clock, recording; its log is read up to its ports.
struct RecordingHost {
    HostProcess process;
    std::string output;
    uint16_t port = 0;

    explicit RecordingHost(std::vector<const char*> options) {
        process = spawn_host_process(options);
        const std::string listening = "Server listening on 0.0.0.0:";
        for (size_t at; (at = output.find(listening)) == std::string::npos || output.find('\n', at) == std::string::npos;) {
            if (!read_some(-1)) return;
        }
        port = static_cast<uint16_t>(std::stoi(output.substr(output.find(listening) + listening.size())));
    }
    // What the log says within `wait_ms` (-1: until it says something or ends).
    bool read_some(int wait_ms) {
        pollfd p{process.output, POLLIN, 0};
        if (poll(&p, 1, wait_ms) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(process.output, buffer, sizeof buffer);
        if (n > 0) output.append(buffer, static_cast<size_t>(n));
        return n > 0;
    }
    // SIGTERM, as an operator stops it; the exit status.
    int stop() {
        kill(process.pid, SIGTERM);
        while (read_some(-1)) {
        }
        close(process.output);
        int status = 0;
        waitpid(process.pid, &status, 0);
        return status;
    }
};

struct ProgramRun {
    int status = -1; // the wait status
    std::string output;
};

// Runs a program to its end, its standard output and error together.
ProgramRun run_program(std::vector<std::string> arguments) {
    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    ProgramRun run;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) run.output.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    waitpid(pid, &run.status, 0);
    return run;
}

std::string message_text(const ClientMessage& message) {
    std::string text;
    write_json(text, message);
    return text;
}

InputState typing(char letter) {
    InputState input;
    input.mouse_x = static_cast<float>(letter) * 7;
    input.mouse_y = 300;
    input.keys[static_cast<size_t>(letter - 'a')].just_pressed = true;
    return input;
}

// A game of the real program, as players play it: a TCP player and a browser player logging in
// at different moments, typing, a command, a drop and a reconnection. Its recording must replay
// to the same pictures, whatever the real clock read at start-up, on each login and in each phase.
TEST(RealRecording, AGameOfTheRealHostReplaysIdentically) {
    const std::string path = "/tmp/cogwell-real-recording-" + std::to_string(getpid()) + ".rec";
    const std::string web_port = std::to_string(free_port());
    RecordingHost host({"--port", "0", "--web-port", web_port.c_str(), "--web-root", COG_WEB_ROOT, "--record",
                        path.c_str()});
    ASSERT_NE(host.port, 0) << host.output;
    auto ann = std::make_unique<TestClient>(host.port);
    ann->send_login("Ann");
    uint32_t ann_id = 0;
    std::unique_ptr<WsClient> bob;
    const auto start = std::chrono::steady_clock::now();
    bool commanded = false, dropped = false, returned = false;
    for (int step = 0;; ++step) {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (t > 5.0) break;
        if (!bob && t > 0.7) {
            bob = std::make_unique<WsClient>(static_cast<uint16_t>(std::stoi(web_port)), true);
            EXPECT_TRUE(bob->wait_open(2000));
            ClientMessage login;
            login.player_name = "Bob";
            bob->send_text(message_text(login));
        }
        if (bob && !commanded && t > 1.5) {
            ClientMessage command;
            command.kind = ClientMessageKind::SETTINGS_COMMAND;
            command.settings_command = "push typewriter";
            bob->send_text(message_text(command));
            commanded = true;
        }
        if (!dropped && t > 2.6) {
            ann.reset();
            dropped = true;
        }
        if (dropped && !returned && t > 3.3) {
            ann = std::make_unique<TestClient>(host.port);
            ann->send_login("Ann", ann_id);
            returned = true;
        }
        if (ann) {
            ann->send_input(typing(static_cast<char>('a' + step % 26)));
            for (const ReceivedMessage& m : ann->receive_all(0))
                if (m.message.kind == ServerMessageKind::EVENT && m.message.event.kind == EventKind::INIT)
                    ann_id = m.message.event.client_id;
        }
        if (bob) {
            ClientMessage input;
            input.kind = ClientMessageKind::INPUT;
            input.input = typing(static_cast<char>('z' - step % 26));
            bob->send_text(message_text(input));
            bob->flush();
            bob->receive(0);
        }
        usleep(16'000);
        host.read_some(0);
    }
    EXPECT_NE(ann_id, 0u);
    const int status = host.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << host.output;
    EXPECT_NE(host.output.find("Player 1 (Ann) reconnected"), std::string::npos) << host.output;
    EXPECT_NE(host.output.find("typewriter"), std::string::npos);

    const ProgramRun replay = run_program({COG_REPLAY_BINARY, path, "--verify"});
    EXPECT_TRUE(WIFEXITED(replay.status) && WEXITSTATUS(replay.status) == 0) << replay.output;
    EXPECT_NE(replay.output.find(" 2 players: identical"), std::string::npos) << replay.output;
    std::remove(path.c_str());
}

} // namespace
} // namespace cog::test

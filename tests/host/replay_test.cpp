// A game recorded over real sockets replays to the same pictures; a changed input is reported
// where it first shows; a replayed picture draws as its player saw it.
#include "replay/picture_png.h"
#include "replay/recording.h"
#include "replay/replayer.h"
#include "server/recording/recorded_message.h"
#include "server/recording/recorder.h"
#include "server/screens/metro/metro_aim.h"
#include "server/screens/metro/metro_state.h"
#include "shared/protocol/json.h"
#include "tests/host/host_harness.h"
#include "tests/support/crafted_recording.h"
#include "tests/ws_client/ws_client.h"

#include <cctype>
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <filesystem>
#include <sys/stat.h>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
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

    // Logins, a reconnection with the seat's secret, debug commands, a metro ride in which the
    // Overseer shoots Ann.
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
        const std::string secret = h->claim_seat(*bob, "Bob", 0, "").secret;
        bob->close();
        h->frames(3);
        TestClient impostor(h->port());
        EXPECT_EQ(h->login(impostor, "Bob", 2), 3u);
        impostor.close();
        bob = std::make_unique<TestClient>(h->port());
        EXPECT_EQ(h->claim_seat(*bob, "Bob", 2, secret).id, 2u); // a seat that goes back only to its secret
        ann->send_command("push role_reveal"); // robots fill the car, seats dealt from the host's random source
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
        EXPECT_EQ(h->state().global.seats.size(), 9u);
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
    EXPECT_EQ(same.players, 3u);

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

    explicit RecordingHost(std::vector<const char*> options) : RecordingHost(spawn_host_process(options)) {}
    RecordingHost(pid_t pid, int output) : RecordingHost(HostProcess{pid, output}) {}
    explicit RecordingHost(HostProcess started) : process(started) { port = read_until_listening(process.output, output); }
    // What the log says within `wait_ms` (-1: until it says something or ends).
    bool read_some(int wait_ms) {
        pollfd p{process.output, POLLIN, 0};
        if (poll(&p, 1, wait_ms) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(process.output, buffer, sizeof buffer);
        if (n > 0) output.append(buffer, static_cast<size_t>(n));
        return n > 0;
    }
    // SIGTERM, as an operator stops it (unless sent already); the exit status.
    int stop(bool terminate = true) { return stop_host(process, &output, terminate); }
};

struct ProgramRun {
    int status = -1; // the wait status
    std::string output;
};

// Runs a program to its end, its standard output and error together; after `timeout_s` it is
// ended by SIGALRM.
ProgramRun run_program(std::vector<std::string> arguments, unsigned timeout_s = 120) {
    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        alarm(timeout_s);
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

// What has arrived for a client, read without decoding it: decoding pictures would keep a test
// from acting while the host is still sending a frame. Returns the pictures among it.
size_t take_arrived(TestClient& client, std::string& unread) {
    char buffer[65536];
    for (ssize_t n; (n = recv(client.fd(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
        unread.append(buffer, static_cast<size_t>(n));
    size_t pictures = 0;
    while (unread.size() >= 4) {
        const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(unread[i])); };
        const size_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        if (unread.size() < 4 + length) break;
        pictures += unread.compare(4, 9, "{\"kind\":1") == 0;
        unread.erase(0, 4 + length);
    }
    return pictures;
}

// Waits for the next picture `client` is sent: its frame is past its input phase.
bool next_picture(TestClient& client, std::string& unread) {
    take_arrived(client, unread);
    for (int i = 0; i < 200; ++i) {
        pollfd p{client.fd(), POLLIN, 0};
        poll(&p, 1, 10);
        if (take_arrived(client, unread) > 0) return true;
    }
    return false;
}

// A frame of the recording in which one player was sent his picture and then dropped for a
// failed send.
bool failed_send_after_picture(const std::string& path) {
    replay::RecordingReader recording;
    if (recording.open(path) != replay::LoadError::None) return false;
    for (replay::RecordedFrame frame; recording.next_frame(frame);) {
        for (const replay::RecordedDrop& drop : frame.drops) {
            if (drop.reason != DropReason::SendFailed) continue;
            for (const replay::RecordedPicture& picture : frame.pictures)
                if (picture.id == drop.id) return true;
        }
    }
    return false;
}

// Two players leave in the same frame of the real program, that frame stretched by stopping the
// host while it sends its pictures: one left before the frame, the other, last of the viewers, as
// the host had read him but not yet sent him his picture. That picture still goes out, and the
// announcement of the first departure is the send that fails on him. The recording replays
// identically all the same.
TEST(RealRecording, PlayersLeavingInAStretchedFrameReplayIdentically) {
    bool met = false; // the picture and then the failed send, in one recorded frame
    for (int attempt = 0; attempt < 5 && !met; ++attempt) {
        const std::string path = "/tmp/cogwell-stretched-" + std::to_string(getpid()) + ".rec";
        RecordingHost host({"--port", "0", "--web-port", "0", "--record", path.c_str()});
        ASSERT_NE(host.port, 0) << host.output;
        // Many viewers between the watcher (the first sent each picture) and the last one, so
        // the host is still sending when it is stopped.
        std::vector<std::unique_ptr<TestClient>> players;
        std::vector<std::string> unread(10); // each player's stream, as far as it is not whole
        for (int i = 0; i < 10; ++i) {
            players.push_back(std::make_unique<TestClient>(host.port));
            players.back()->send_login("P" + std::to_string(i));
            usleep(20'000); // seated in this order
        }
        players.front()->send_command("push typewriter");
        for (int step = 0; step < 20; ++step) {
            for (size_t i = 0; i < players.size(); ++i) {
                players[i]->send_input(typing(static_cast<char>('a' + step % 26)));
                take_arrived(*players[i], unread[i]);
            }
            usleep(16'000);
        }
        TestClient& watcher = *players.front();
        const bool first = next_picture(watcher, unread[0]);
        take_arrived(*players[1], unread[1]);
        players[1]->close(); // read in the next frame's input phase
        const bool second = next_picture(watcher, unread[0]); // that frame is sending its pictures
        kill(host.process.pid, SIGSTOP);
        take_arrived(*players.back(), unread.back()); // nothing unread: the host sees a close, not a reset
        players.back()->close();
        usleep(100'000);
        kill(host.process.pid, SIGCONT);
        usleep(100'000);
        players.clear();
        const int status = host.stop();
        EXPECT_TRUE(first && second);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << host.output;
        met = failed_send_after_picture(path);
        const ProgramRun replay = run_program({COG_REPLAY_BINARY, path, "--verify"});
        EXPECT_TRUE(WIFEXITED(replay.status) && WEXITSTATUS(replay.status) == 0) << replay.output;
        EXPECT_NE(replay.output.find(" 10 players: identical"), std::string::npos) << replay.output;
        std::remove(path.c_str());
    }
    EXPECT_TRUE(met) << "no attempt stopped the host between a player's input and his picture";
}

// Counts the lines of `log` holding `text`.
size_t lines_with(const std::string& log, std::string_view text) {
    size_t count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
}

// One TCP player in the lobby for `seconds`, moving and typing; the pictures of its last second.
size_t play_alone(uint16_t port, double seconds) {
    TestClient ann(port);
    ann.send_login("Ann");
    size_t late_pictures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int step = 0;; ++step) {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (t > seconds) break;
        ann.send_input(typing(static_cast<char>('a' + step % 26)));
        const size_t pictures = count_draws(ann.receive_all(0));
        if (t > seconds - 1) late_pictures += pictures;
        usleep(16'000);
    }
    return late_pictures;
}

// A recording that reaches its limit ends there with one line in the log, as a whole recording
// a replay reads to its end, and the game goes on.
TEST(RealRecording, ARecordingEndsWholeAtItsLimitAndTheGameGoesOn) {
    const std::string path = "/tmp/cogwell-limited-recording-" + std::to_string(getpid()) + ".rec";
    {
        // A recording from an earlier run, readable by all: its mode must not survive.
        FILE* old = std::fopen(path.c_str(), "w");
        ASSERT_NE(old, nullptr);
        std::fclose(old);
        chmod(path.c_str(), 0644);
    }
    RecordingHost host({"--port", "0", "--web-port", "0", "--record", path.c_str(), "--record-max-bytes", "6000"});
    ASSERT_NE(host.port, 0) << host.output;
    EXPECT_GT(play_alone(host.port, 4.0), 30u); // about 60 a second while the game keeps its pace
    const int status = host.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(lines_with(host.output, "The recording reached its limit of 6000 bytes; it ends there"), 1u)
        << host.output;
    struct stat file {};
    ASSERT_EQ(stat(path.c_str(), &file), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u); // the recording holds the game's secrets
    EXPECT_LE(file.st_size, 6000);
    EXPECT_GT(file.st_size, 3000);

    const ProgramRun replay = run_program({COG_REPLAY_BINARY, path, "--verify"});
    EXPECT_TRUE(WIFEXITED(replay.status) && WEXITSTATUS(replay.status) == 0) << replay.output;
    EXPECT_NE(replay.output.find(" 1 players: identical"), std::string::npos) << replay.output;
    EXPECT_EQ(replay.output.find("cut short"), std::string::npos) << replay.output;

    // The same recording without its last byte, as a host that died while writing leaves it: it
    // replays as far as it goes, says it was cut short, and what it holds still verifies.
    const std::string cut = path + ".cut";
    std::filesystem::copy_file(path, cut, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 1);
    const ProgramRun cut_replay = run_program({COG_REPLAY_BINARY, cut, "--verify"});
    EXPECT_TRUE(WIFEXITED(cut_replay.status) && WEXITSTATUS(cut_replay.status) == 0) << cut_replay.output;
    EXPECT_NE(cut_replay.output.find("is cut short"), std::string::npos) << cut_replay.output;
    EXPECT_NE(cut_replay.output.find("identical"), std::string::npos) << cut_replay.output;
    std::remove(cut.c_str());
    std::remove(path.c_str());
}

// The real host recording into a filesystem of its own, nearly full: a small tmpfs in a private
// mount namespace. The recording is copied out when the host has ended.
struct HostOnAFullDisk {
    pid_t jail = -1;
    int output = -1;
    static constexpr int NO_NAMESPACE = 77;

    HostOnAFullDisk(const std::string& copy_to, size_t free_bytes) {
        int out[2];
        if (pipe(out) != 0) return;
        jail = fork();
        if (jail == 0) {
            close(out[0]);
            _exit(run_jail(out[1], copy_to, free_bytes));
        }
        close(out[1]);
        output = out[0];
    }

    static bool private_mounts() {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWNS) != 0) {
            if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
            const std::string uid_map = "0 " + std::to_string(uid) + " 1", gid_map = "0 " + std::to_string(gid) + " 1";
            for (const auto& [file, text] : {std::pair<const char*, std::string>{"/proc/self/setgroups", "deny"},
                                             {"/proc/self/uid_map", uid_map},
                                             {"/proc/self/gid_map", gid_map}}) {
                FILE* f = std::fopen(file, "w");
                if (!f) return false;
                std::fputs(text.c_str(), f);
                std::fclose(f);
            }
        }
        return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }

    static int run_jail(int output, const std::string& copy_to, size_t free_bytes) {
        setpgid(0, 0);
        signal(SIGTERM, SIG_IGN); // the host alone stops; the jail then copies its recording out
        const std::string dir = copy_to + ".disk";
        mkdir(dir.c_str(), 0700);
        if (!private_mounts() || mount("none", dir.c_str(), "tmpfs", 0, "size=256k") != 0) return NO_NAMESPACE;
        const std::string filler(256 * 1024 - free_bytes, 'x');
        FILE* fill = std::fopen((dir + "/filler").c_str(), "w");
        if (!fill || std::fwrite(filler.data(), 1, filler.size(), fill) != filler.size()) return NO_NAMESPACE;
        std::fclose(fill);
        const std::string recording = dir + "/game.rec";
        const pid_t host = fork();
        if (host == 0) {
            signal(SIGTERM, SIG_DFL);
            dup2(output, STDOUT_FILENO);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            execl(COG_HOST_BINARY, COG_HOST_BINARY, "--port", "0", "--web-port", "0", "--record", recording.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(output);
        int status = 0;
        waitpid(host, &status, 0);
        std::FILE* in = std::fopen(recording.c_str(), "rb");
        std::FILE* out = std::fopen(copy_to.c_str(), "wb");
        char buffer[4096];
        for (size_t n; in && out && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) std::fwrite(buffer, 1, n, out);
        if (in) std::fclose(in);
        if (out) std::fclose(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

// A disk that fills up ends the recording with one line in the log and a proper end, and the
// game goes on.
TEST(RealRecording, AFullDiskEndsTheRecordingWholeAndTheGameGoesOn) {
    const std::string path = "/tmp/cogwell-full-disk-" + std::to_string(getpid()) + ".rec";
    HostOnAFullDisk jailed(path, 4096);
    ASSERT_GT(jailed.jail, 0);
    RecordingHost host(jailed.jail, jailed.output);
    if (host.port == 0) {
        int status = 0;
        waitpid(jailed.jail, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == HostOnAFullDisk::NO_NAMESPACE)
            GTEST_SKIP() << "no private mount namespace here";
        FAIL() << host.output;
    }
    EXPECT_GT(play_alone(host.port, 4.0), 30u);
    kill(-jailed.jail, SIGTERM);
    const int status = host.stop(false);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(lines_with(host.output, "Writing the recording failed (No space left on device); it ends there"), 1u)
        << host.output;
    const ProgramRun replay = run_program({COG_REPLAY_BINARY, path, "--verify"});
    EXPECT_TRUE(WIFEXITED(replay.status) && WEXITSTATUS(replay.status) == 0) << replay.output;
    EXPECT_NE(replay.output.find(" 1 players: identical"), std::string::npos) << replay.output;
    EXPECT_EQ(replay.output.find("cut short"), std::string::npos) << replay.output;
    std::remove(path.c_str());
    rmdir((path + ".disk").c_str());
}

// The room's admin token is logged once and recorded once, in the header: an admin's claims keep
// their words and whether they were right, which is enough to replay them. Bytes the host ignores
// (an INPUT padded with an unknown key) are not recorded either.
TEST(RealRecording, TheAdminTokenAndIgnoredBytesStayOutOfTheLogAndTheRecording) {
    const std::string path = "/tmp/cogwell-admin-recording-" + std::to_string(getpid()) + ".rec";
    RecordingHost host({"--port", "0", "--web-port", "0", "--debug-commands", "admin", "--record", path.c_str()});
    ASSERT_NE(host.port, 0) << host.output;
    const std::string said = "Admin token: ";
    ASSERT_NE(host.output.find(said), std::string::npos);
    const std::string token = host.output.substr(host.output.find(said) + said.size(), 32);

    TestClient ann(host.port);
    ann.send_login("Ann");
    ann.send_command("admin\t" + token);
    ann.send_command("ADMIN " + token.substr(0, 31) + "0 extra");
    ann.send_command("admin " + token);
    // Typos that still hold the token, in any case: masked wherever it stands.
    std::string upper = token;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& typo : {" admin " + token, "/admin " + token, "push " + upper, token})
        ann.send_command(typo);
    ann.send_command("push typewriter");
    const std::string unpadded = message_text([] {
        ClientMessage input;
        input.kind = ClientMessageKind::INPUT;
        input.input = typing('q');
        return input;
    }());
    std::string padded = unpadded;
    padded.insert(padded.size() - 1, ",\"padding\":\"" + std::string(4000, 'x') + "\"");
    for (int i = 0; i < 60; ++i) {
        ann.send_frame(padded);
        ann.receive_all(0);
        usleep(16'000);
    }
    const int status = host.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(lines_with(host.output, token), 1u) << host.output;
    EXPECT_EQ(lines_with(host.output, upper.substr(0, 16)), 0u) << host.output;
    EXPECT_NE(host.output.find("Player 1 is now an admin of the room"), std::string::npos);
    EXPECT_NE(host.output.find("TYPEWRITER"), std::string::npos);

    replay::RecordingReader recording;
    ASSERT_EQ(recording.open(path), replay::LoadError::None);
    EXPECT_EQ(recording.header().admin_token, token);
    size_t claims = 0, inputs = 0, largest = 0; // the largest INPUT
    for (replay::RecordedFrame frame; recording.next_frame(frame);) {
        for (const replay::RecordedMessage& m : frame.messages) {
            EXPECT_EQ(m.body.find(token.substr(0, 16)), std::string::npos) << m.body;
            EXPECT_EQ(m.body.find(upper.substr(0, 16)), std::string::npos) << m.body;
            claims += m.body.find("admin ***") != std::string::npos;
            claims += m.body.find(std::string("admin ").append(RECORDED_RIGHT_TOKEN)) != std::string::npos;
            if (m.body.find("\"kind\":1") == std::string::npos) continue;
            ++inputs;
            largest = std::max(largest, m.body.size());
        }
    }
    EXPECT_EQ(claims, 4u); // the two claims, and " admin ***" and "/admin ***"
    EXPECT_GE(inputs, 50u);
    EXPECT_EQ(largest, unpadded.size());

    const ProgramRun replay = run_program({COG_REPLAY_BINARY, path, "--verify"});
    EXPECT_TRUE(WIFEXITED(replay.status) && WEXITSTATUS(replay.status) == 0) << replay.output;
    EXPECT_NE(replay.output.find(" 1 players: identical"), std::string::npos) << replay.output;
    std::remove(path.c_str());
}

bool ended_by_itself(const ProgramRun& run, int status) { return WIFEXITED(run.status) && WEXITSTATUS(run.status) == status; }

// Recordings no host wrote end the replay with a verdict and a status in bounded time and
// memory: never a hang, a crash or an overflow.
// A player whose connection failed in a frame still had that frame's messages acted on, as the
// host did: his command pushes the screen the others are then shown.
TEST(Replay, APlayersLastMessagesCountWhateverEndedHisConnection) {
    const std::string path = "/tmp/cogwell-last-words-" + std::to_string(getpid()) + ".rec";
    const std::string push = message_text([] {
        ClientMessage message;
        message.kind = ClientMessageKind::SETTINGS_COMMAND;
        message.settings_command = "push typewriter";
        return message;
    }());
    for (const DropReason reason :
         {DropReason::Closed, DropReason::Stalled, DropReason::Unframeable, DropReason::SendFailed}) {
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1).login("Bob", 0, 2).tag(RecordTag::FRAME_END);
        r.idle_frame();
        r.tag(RecordTag::FRAME).mono(16'000'000).message(1, push).drop(1, static_cast<int64_t>(reason));
        r.tag(RecordTag::FRAME_END).idle_frame().idle_frame();
        ASSERT_TRUE(r.save(path));
        replay::RecordingReader reader;
        ASSERT_EQ(reader.open(path), replay::LoadError::None);
        std::string last;
        replay::run_replay(reader, false, 2, [&](double, std::string_view body) {
            last = body;
            return true;
        });
        EXPECT_NE(last.find("\"text\":\"Word 1/9\""), std::string::npos) << static_cast<int>(reason);
    }
    std::remove(path.c_str());
}

TEST(HostileRecording, EndsTheReplayWithAVerdictNeverAHangOrACrash) {
    const std::string base = "/tmp/cogwell-hostile-" + std::to_string(getpid());
    const std::string input = message_text([] {
        ClientMessage message;
        message.kind = ClientMessageKind::INPUT;
        return message;
    }());
    {
        // Messages of 1 MB, four in one frame (as many as may wait for a player): more than a
        // socket buffer holds.
        std::string large = input;
        large.insert(large.size() - 1, ",\"padding\":\"" + std::string(1'000'000, 'x') + "\"");
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1);
        for (int i = 0; i < 4; ++i) r.message(1, large);
        r.tag(RecordTag::FRAME_END).idle_frame();
        ASSERT_TRUE(r.save(base + "-large.rec"));
        const ProgramRun run = run_program({COG_REPLAY_BINARY, base + "-large.rec", "--verify"}, 60);
        EXPECT_TRUE(ended_by_itself(run, 1)) << run.status << run.output;
        // The recording has no pictures: the first one sent is the difference.
        EXPECT_NE(run.output.find("frame 0, player 1, command 0: a picture the recording does not have"),
                  std::string::npos) << run.output;
    }
    {
        // A seat handed back under another id than recorded, then messages for both: drawn.
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1).tag(RecordTag::FRAME_END);
        for (int i = 0; i < 250; ++i) r.idle_frame(); // 4 s: the seat has fallen silent
        r.tag(RecordTag::FRAME).mono(16'000'000).login("Ann", 1, 2).tag(RecordTag::FRAME_END);
        r.tag(RecordTag::FRAME).mono(16'000'000).message(1, input).message(2, input).tag(RecordTag::FRAME_END);
        for (int i = 0; i < 10; ++i) r.idle_frame();
        ASSERT_TRUE(r.save(base + "-seat.rec"));
        const ProgramRun run = run_program(
            {COG_REPLAY_BINARY, base + "-seat.rec", "--player", "1", "--at", "4.05", "--png", base + "-seat.png"}, 60);
        EXPECT_TRUE(ended_by_itself(run, 0)) << run.status << run.output;
        EXPECT_NE(run.output.find("1 picture written"), std::string::npos) << run.output;
        std::remove((base + "-seat.png").c_str());
    }
    {
        // A frame that never ends: 16 MB of clock readings from a file of a few kilobytes.
        CraftedRecording r;
        r.tag(RecordTag::FRAME);
        for (int i = 0; i < 8'000'000; ++i) r.mono(0);
        ASSERT_TRUE(r.save(base + "-endless.rec"));
        const ProgramRun run = run_program({COG_REPLAY_BINARY, base + "-endless.rec", "--verify"}, 60);
        EXPECT_TRUE(ended_by_itself(run, 3)) << run.status << run.output;
        EXPECT_NE(run.output.find("cannot be replayed after frame 0"), std::string::npos) << run.output;
    }
    {
        // 5,000 logins in one frame: more than the accept phase takes in one.
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1);
        for (uint32_t id = 1; id <= 5000; ++id) r.login("crowd", 0, id);
        r.tag(RecordTag::FRAME_END);
        ASSERT_TRUE(r.save(base + "-crowd.rec"));
        const ProgramRun run = run_program({COG_REPLAY_BINARY, base + "-crowd.rec", "--verify"}, 60);
        EXPECT_TRUE(ended_by_itself(run, 3)) << run.status << run.output;
    }
    {
        // Clock readings whose sums leave 64 bits, and a monotonic clock running backwards.
        for (const int64_t change : {INT64_MAX, int64_t{-5}}) {
            CraftedRecording r;
            r.idle_frame().tag(RecordTag::FRAME).mono(change).tag(RecordTag::FRAME_END);
            r.tag(RecordTag::FRAME).mono(change).tag(RecordTag::FRAME_END);
            ASSERT_TRUE(r.save(base + "-clock.rec"));
            const ProgramRun run = run_program({COG_REPLAY_BINARY, base + "-clock.rec", "--verify"}, 60);
            EXPECT_TRUE(ended_by_itself(run, 3)) << run.status << run.output;
            EXPECT_NE(run.output.find("cannot be replayed after frame 1"), std::string::npos) << run.output;
        }
    }
    {
        // A frame with more clock readings than the host makes: the path the recording took is
        // not the one replayed, however the readings of later frames line up.
        CraftedRecording r;
        r.wall(1'700'000'000'000'000'000).mono(1'000'000'000); // start-up's readings
        r.tag(RecordTag::FRAME);
        for (int i = 0; i < 50; ++i) r.mono(1'000'000);
        r.tag(RecordTag::FRAME_END).idle_frame().idle_frame();
        ASSERT_TRUE(r.save(base + "-readings.rec"));
        const ProgramRun run = run_program({COG_REPLAY_BINARY, base + "-readings.rec", "--verify"}, 60);
        EXPECT_TRUE(ended_by_itself(run, 1)) << run.status << run.output;
        EXPECT_NE(run.output.find("frame 0: the game read its clock differently from the recording"), std::string::npos)
            << run.output;
    }
    for (const char* name : {"-large.rec", "-seat.rec", "-endless.rec", "-crowd.rec", "-clock.rec", "-readings.rec"})
        std::remove((base + name).c_str());
}

// Recordings whose frames hold what costs far more once read than on disk, or that feed a player
// more than the host takes of him, are refused where they go wrong, not replayed until memory
// runs out: a frame is bounded by what its records become, a replayed player's connection by the
// bytes waiting in it.
TEST(HostileRecording, AFrameAndAPlayersConnectionAreBoundedByWhatTheyHold) {
    const std::string base = "/tmp/cogwell-bounded-" + std::to_string(getpid());
    const std::string input = message_text([] {
        ClientMessage message;
        message.kind = ClientMessageKind::INPUT;
        return message;
    }());
    const std::string never = "100000"; // a moment no picture reaches: the whole recording is replayed
    struct Case {
        const char* what;
        CraftedRecording recording;
        std::vector<std::string> mode;
        const char* refusal;
    };
    std::vector<Case> cases;
    {
        // 12 MB of 3-byte messages: small on disk, several times larger once read.
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1);
        for (int i = 0; i < 2'000'000; ++i) r.message(1, "abc");
        r.tag(RecordTag::FRAME_END).idle_frame();
        cases.push_back({"tiny messages", std::move(r), {"--verify"},
                         "cannot be replayed after frame 0: it holds a frame larger than any game records"});
    }
    {
        // More INPUTs in each frame than the host reads from a player in one.
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1).tag(RecordTag::FRAME_END);
        for (int f = 0; f < 5; ++f) {
            r.tag(RecordTag::FRAME).mono(16'000'000);
            for (int i = 0; i < 2500; ++i) r.message(1, input);
            r.tag(RecordTag::FRAME_END);
        }
        cases.push_back({"a flood of inputs", std::move(r), {"--player", "1", "--at", never, "--png", base + ".png"},
                         "cannot be replayed after frame 1: it feeds a player more messages than the host takes"});
    }
    {
        // Messages the host cannot decode, of which it takes one a frame.
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1).tag(RecordTag::FRAME_END);
        for (int f = 0; f < 400; ++f) {
            r.tag(RecordTag::FRAME).mono(16'000'000);
            for (int i = 0; i < 256; ++i) r.message(1, "abc");
            r.tag(RecordTag::FRAME_END);
        }
        cases.push_back({"undecodable messages", std::move(r), {"--player", "1", "--at", never, "--png", base + ".png"},
                         "it feeds a player more messages than the host takes of him (player 1)"});
    }
    for (Case& c : cases) {
        ASSERT_TRUE(c.recording.save(base + ".rec")) << c.what;
        std::string().swap(c.recording.records);
        std::vector<std::string> arguments{COG_REPLAY_BINARY, base + ".rec"};
        arguments.insert(arguments.end(), c.mode.begin(), c.mode.end());
        const ProgramRun run = run_program(arguments, 120);
        EXPECT_TRUE(ended_by_itself(run, 3)) << c.what << ": " << run.status << run.output;
        EXPECT_NE(run.output.find(c.refusal), std::string::npos) << c.what << ": " << run.output;
    }
    std::remove((base + ".rec").c_str());
    std::remove((base + ".png").c_str());
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
    // A frame goes to the disk as the next one begins: the sixth is the one the crash takes.
    for (int i = 0; i < 6; ++i) {
        const off_t before = size_of(path);
        frame("{\"kind\":1}");
        wait_written(before);
    }
    const std::string crashed = path + ".crashed";
    std::filesystem::copy_file(path, crashed);
    recorder.reset();
    EXPECT_EQ(read_back(crashed), std::make_pair(size_t{5}, replay::LoadError::Truncated));
    EXPECT_EQ(read_back(path), std::make_pair(size_t{6}, replay::LoadError::None));
    std::remove(crashed.c_str());
}

} // namespace
} // namespace cog::test

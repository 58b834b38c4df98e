// The real client program under the test display: against an in-process host it logs in over the
// WebSocket and saves a picture of the lobby; over plain TCP (--tcp), against a host that drops it,
// it comes back with its old id and the seat's secret.
#include "server/main/host.h"
#include "server/network/socket_util.h"
#include "shared/log/console.h"
#include "shared/platform/clock.h"
#include "shared/platform/random.h"
#include "shared/protocol/framing.h"

#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace cog::client {
namespace {

// The host's console lines, collected across its thread.
struct ConsoleLines {
    std::mutex mutex;
    std::string text;
    static void collect(void* self, std::string_view line) {
        auto* lines = static_cast<ConsoleLines*>(self);
        std::lock_guard lock(lines->mutex);
        lines->text.append(line);
    }
    bool contains(std::string_view needle) {
        std::lock_guard lock(mutex);
        return text.find(needle) != std::string::npos;
    }
};

// Runs the client binary; returns its exit code, or -1 if it had to be killed after 60 s.
int run_client(uint16_t port, const std::string& name, const std::string& png, const char* after_s, bool tcp) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "dummy", 1); // no sound card on a test machine
        // SDL unloads the X11 libraries on shutdown, so what they keep until exit cannot be told
        // apart from a leak by library name; the leak check stays with the in-process tests.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        const std::string port_text = std::to_string(port);
        execl(COG_CLIENT_BINARY, COG_CLIENT_BINARY, "--name", name.c_str(), "--port", port_text.c_str(), "--screenshot",
              png.c_str(), "--after", after_s, tcp ? "--tcp" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    for (int waited_ms = 0; waited_ms < 60000; waited_ms += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

struct Pixels {
    int width = 0, height = 0;
    unsigned char* data = nullptr;
    explicit Pixels(const std::string& path) {
        int channels = 0;
        data = stbi_load(path.c_str(), &width, &height, &channels, 3);
    }
    ~Pixels() { stbi_image_free(data); }
    Color at(int x, int y) const {
        const unsigned char* p = data + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return {p[0], p[1], p[2], 255};
    }
};

std::string temp_png(const char* stem) { return ::testing::TempDir() + stem + std::to_string(getpid()) + ".png"; }

// An empty folder for the host's web endpoint: the native client asks it for no files.
std::string empty_folder() {
    std::string pattern = ::testing::TempDir() + "cogwell-web-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

TEST(EndToEnd, ClientJoinsTheLobbyOverTheWebSocketAndSavesItsPicture) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (the test script runs under xvfb-run)";
    ConsoleLines console;
    console_set_sink(&ConsoleLines::collect, &console);
    SystemClock clock;
    SeededRandom random(7);
    std::atomic<bool> stop{false};
    HostConfig config;
    config.port = 0;
    config.web_port = 0;
    config.web_port_any = true;
    const std::string web_root = empty_folder();
    config.web_root = web_root;
    config.clock = &clock;
    config.random = &random;
    config.open_window = false;
    config.stop_requested = &stop;
    Host host(config);
    ASSERT_TRUE(host.start());
    ASSERT_NE(host.web_port(), 0);
    std::thread loop([&] {
        while (host.frame()) {
        }
    });
    const std::string png = temp_png("lobby");
    const int code = run_client(host.web_port(), "Zed", png, "3", false);
    stop = true;
    loop.join();
    host.shutdown();
    console_set_sink(nullptr, nullptr);

    EXPECT_EQ(code, 0);
    EXPECT_TRUE(console.contains("(Zed) joined")) << console.text;
    Pixels picture(png);
    ASSERT_NE(picture.data, nullptr) << "no PNG at " << png;
    EXPECT_EQ(picture.width, 1280);
    EXPECT_EQ(picture.height, 720);
    EXPECT_EQ(picture.at(5, 5), (Color{20, 20, 30, 255}));         // the lobby's background
    EXPECT_EQ(picture.at(345, 205), (Color{40, 40, 60, 255}));     // the player's row
    // The name is written in the row: some pixels there differ from the row's colour.
    int lit = 0;
    for (int y = 212; y < 240; ++y)
        for (int x = 390; x < 560; ++x) lit += picture.at(x, y) != Color{40, 40, 60, 255} ? 1 : 0;
    EXPECT_GT(lit, 200);
    std::remove(png.c_str());
    rmdir(web_root.c_str());
}

// A stand-in host that logs the client in, drops it, and checks how it comes back.
TEST(EndToEnd, DroppedClientReconnectsWithItsOldId) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (the test script runs under xvfb-run)";
    const int listener = create_listener("127.0.0.1", 0, 4).fd;
    ASSERT_GE(listener, 0);
    const uint16_t port = bound_port(listener);

    std::vector<uint32_t> previous_ids;
    std::vector<std::string> secrets; // as each LOGIN presented them
    std::thread stand_in([&] {
        for (int attempt = 0; attempt < 2; ++attempt) {
            pollfd p{listener, POLLIN, 0};
            if (poll(&p, 1, 20000) <= 0) return;
            const int fd = accept(listener, nullptr, nullptr);
            FrameReader reader;
            std::pmr::monotonic_buffer_resource arena;
            pollfd readable{fd, POLLIN, 0};
            poll(&readable, 1, 5000);
            Received login = receive_message(fd, reader, &arena);
            if (login.error == ProtocolError::None && login.message.kind == ClientMessageKind::LOGIN) {
                previous_ids.push_back(login.message.previous_player_id);
                secrets.emplace_back(login.message.reconnect_secret.value_or("(none)"));
            }
            ServerMessage init;
            init.event.kind = EventKind::INIT;
            init.event.client_id = 5;
            init.event.reconnect_secret = "c0ffee";
            send_message(fd, init);
            // The first time, hang up at once; the second time, keep the line until the client ends.
            if (attempt == 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            else std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            close(fd);
        }
    });
    const std::string png = temp_png("reconnect");
    const int code = run_client(port, "Amy", png, "3", true);
    stand_in.join();
    close(listener);

    EXPECT_EQ(code, 0);
    EXPECT_EQ(previous_ids, (std::vector<uint32_t>{0, 5}));
    EXPECT_EQ(secrets, (std::vector<std::string>{"", "c0ffee"}));
    std::remove(png.c_str());
}

} // namespace
} // namespace cog::client

// Start-up, pacing and shutdown: taken ports, restarts, the window, headless runs and signals.
#include "server/screens/lobby/lobby_state.h"
#include "tests/host/host_harness.h"

#include "server/network/socket_util.h"

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace cog::test {
namespace {

TEST(Lifecycle, TakenPortFailsWithItsName) {
    ListenResult other = create_listener("0.0.0.0", 0, 10);
    ASSERT_GE(other.fd, 0);
    ConsoleCapture console;
    HostHarness h(false, bound_port(other.fd));
    EXPECT_FALSE(h.start());
    EXPECT_TRUE(console.contains("Failed to create listener: Address_In_Use"));
    EXPECT_FALSE(h.host->has_window());
    close_socket(other.fd);
}

// A room asked to be secure never opens insecure or half-way: the start fails with the reason.
TEST(Lifecycle, UnusableTlsFilesFailTheStartWithOneError) {
    ConsoleCapture console;
    HostHarness h(false, 0, DebugCommandsMode::OPEN, true, [](HostConfig& config) {
        config.tls_certificate = "/nonexistent/cert.pem";
        config.tls_key = "/nonexistent/key.pem";
    });
    EXPECT_FALSE(h.start());
    EXPECT_EQ(h.web_port(), 0);
    EXPECT_EQ(console.count("Cannot serve the web client over TLS"), 1u);
    EXPECT_TRUE(console.contains("the certificate file cannot be read"));
}

TEST(Lifecycle, PortCanBeBoundAgainRightAfterARestart) {
    uint16_t port = 0;
    {
        HostHarness first;
        ASSERT_TRUE(first.start());
        port = first.port();
        TestClient client(port);
        ASSERT_EQ(first.login(client, "x"), 1u);
        first.host->shutdown(); // the host closes first: its side lingers in TIME_WAIT
    }
    HostHarness second(false, port);
    EXPECT_TRUE(second.start());
}

TEST(Lifecycle, FramesArePacedToSixteenMilliseconds) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    h.frames(3);
    ASSERT_EQ(h.clock.sleeps_ms.size(), 3u);
    EXPECT_EQ(h.clock.sleeps_ms[0], 16);
    // An overrun frame does not sleep at all.
    const size_t sleeps = h.clock.sleeps_ms.size();
    h.clock.mono_step_ns = 20'000'000;
    h.frames(1);
    EXPECT_EQ(h.clock.sleeps_ms.size(), sleeps);
}

TEST(Lifecycle, FrameTimeAndPacingIgnoreWallClockSteps) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    h.frames(1);
    const auto& lobby = static_cast<const LobbyState&>(*h.state().screen_stack.top()->data);
    // The wall clock is set back an hour, then forward two: the game's clock keeps 16 ms steps.
    for (int64_t step : {int64_t{-3600}, int64_t{7200}}) {
        const float before = lobby.time_elapsed;
        h.clock.wall += step * 1'000'000'000;
        h.frames(1);
        EXPECT_NEAR(lobby.time_elapsed - before, 0.016f, 1e-4f);
        EXPECT_EQ(h.clock.sleeps_ms.back(), 16);
    }
}

TEST(Lifecycle, SleepIsTheWholeMillisecondsLeft) {
    EXPECT_EQ(pacing_sleep_ms(0, 0), 16);
    EXPECT_EQ(pacing_sleep_ms(0, 15'100'000), 0); // 0.9 ms left
    EXPECT_EQ(pacing_sleep_ms(0, 14'999'999), 1);
    EXPECT_EQ(pacing_sleep_ms(0, 20'000'000), 0);
}

TEST(Lifecycle, StopRequestEndsTheLoopAndShutsDownCleanly) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    h.frames(2);
    ConsoleCapture console;
    h.stop = true;
    EXPECT_FALSE(h.host->frame());
    h.host->shutdown();
    EXPECT_TRUE(console.contains("Server shutdown complete"));
}

TEST(Lifecycle, HeadlessWithoutADisplay) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ConsoleCapture console;
    HostHarness h(true);
    ASSERT_TRUE(h.start());
    EXPECT_FALSE(h.host->has_window());
    EXPECT_TRUE(console.contains("No display found"));
    if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
}

TEST(Lifecycle, ClosingTheWindowEndsTheLoop) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (the test script runs under xvfb-run)";
    HostHarness h(true);
    ASSERT_TRUE(h.start());
    ASSERT_TRUE(h.host->has_window());
    EXPECT_TRUE(h.host->frame());
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    ConsoleCapture console;
    EXPECT_FALSE(h.host->frame());
    h.host->shutdown();
    EXPECT_TRUE(console.contains("Server shutdown complete"));
}

// The real program on its real port: SIGTERM ends it like a window close, with exit code 0.
TEST(Lifecycle, TerminationSignalShutsTheProgramDown) {
    const HostProcess host = spawn_host_process({"--web-port", "0"});
    ASSERT_GE(host.pid, 0);
    const pid_t pid = host.pid;
    const int out[1] = {host.output};
    std::string output;
    char buffer[4096];
    while (output.find("Server listening on") == std::string::npos &&
           output.find("Failed to create listener") == std::string::npos) {
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        output.append(buffer, static_cast<size_t>(n));
    }
    if (output.find("Failed to create listener") != std::string::npos) {
        waitpid(pid, nullptr, 0);
        close(out[0]);
        GTEST_SKIP() << "port 5556 is taken on this machine";
    }
    ASSERT_NE(output.find("Server listening on 0.0.0.0:5556"), std::string::npos) << output;
    kill(pid, SIGTERM);
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(output.find("Server shutdown complete"), std::string::npos);
    EXPECT_NE(output.find("running without the status window"), std::string::npos);
}

} // namespace
} // namespace cog::test

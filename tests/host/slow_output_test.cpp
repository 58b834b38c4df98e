// The log path of the real host: an output nobody reads costs dropped log lines, never the game's
// frames; the writer thread is woken once a frame, not once a line; the log threshold silences the
// per-frame diagnostics.
#include "shared/log/console_writer.h"
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace cog::test {
namespace {

TEST(SlowOutput, AStalledLogReaderDoesNotStopTheGame) {
    const HostProcess host = spawn_host_process({"--port", "0", "--web-port", "0"});
    ASSERT_GE(host.pid, 0);
    // Read only as far as the port; from then on nobody reads, and the pipe fills.
    std::string output;
    const uint16_t port = read_until_listening(host.output, output);
    ASSERT_NE(port, 0) << output;

    TestClient flooder(port);
    flooder.send_login("flood");
    InputState every_letter;
    for (auto& key : every_letter.keys) key.just_pressed = true;
    // Three seconds of every letter pressed in every INPUT: thousands of key lines, far more
    // than the 64 KiB pipe takes. Pictures are counted over the last second.
    size_t late_pictures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto now = start; now - start < std::chrono::seconds(3); now = std::chrono::steady_clock::now()) {
        flooder.send_input(every_letter);
        const size_t pictures = count_draws(flooder.receive_all(10));
        if (now - start > std::chrono::seconds(2)) late_pictures += pictures;
    }
    EXPECT_GT(late_pictures, 20u); // about 60 when the game keeps its pace; 0 when it waits

    const int status = stop_host(host, nullptr);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SlowOutput, TheWriterIsWokenOncePerFrameOfLinesNotOncePerLine) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
    std::string received;
    auto drain = [&] {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) received.append(buffer, static_cast<size_t>(n));
    };
    size_t wakes = 0;
    {
        ConsoleWriter writer(pipe_fds[1], 1 << 20, 2000, 16, 64 * 1024);
        // A line every millisecond for 320 ms, read as fast as it comes: twenty frames of a busy log.
        for (int i = 0; i < 320; ++i) {
            writer.write("line " + std::to_string(i) + "\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            drain();
        }
        // Bytes piling up wake the writer at once, without waiting for the frame to end.
        writer.write(std::string(64 * 1024, 'x') + "\n");
        const auto asked = std::chrono::steady_clock::now();
        while (received.size() < 64 * 1024 && std::chrono::steady_clock::now() - asked < std::chrono::seconds(2)) drain();
        wakes = writer.wakes();
    }
    drain();
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    EXPECT_LE(wakes, 4u); // the first line, the big one, and a pause or two of the test itself
    EXPECT_EQ(received.find("line 0\n"), 0u);
    EXPECT_NE(received.find("line 319\nxxx"), std::string::npos);
}

TEST(SlowOutput, AboveDebugThePerFrameDiagnosticsAreNotWritten) {
    for (const char* level : {"debug", "info"}) {
        const HostProcess host = spawn_host_process({"--port", "0", "--web-port", "0", "--log-level", level});
        ASSERT_GE(host.pid, 0);
        std::string output;
        const uint16_t port = read_until_listening(host.output, output);
        ASSERT_NE(port, 0) << output;
        TestClient typist(port);
        typist.send_login("typist");
        InputState letter;
        letter.keys[0].just_pressed = true;
        for (int i = 0; i < 30; ++i) {
            typist.send_input(letter);
            typist.receive_all(10);
        }
        typist.close();
        const int status = stop_host(host, &output);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_NE(output.find("Server shutdown complete"), std::string::npos) << level;
        EXPECT_EQ(output.find("received key: A") != std::string::npos, std::string(level) == "debug") << output;
    }
}

// Lines that did not fit while nobody read are counted: every line written is either shown or
// in a count.
TEST(SlowOutput, EveryLineIsShownOrCountedAsDropped) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    fcntl(out[1], F_SETPIPE_SZ, 4096);
    constexpr size_t LINES = 4000;
    auto writer = std::make_unique<ConsoleWriter>(out[1], 8192, 5000);
    for (size_t i = 0; i < LINES; ++i) writer->write("line " + std::to_string(i) + " of the flood\n");
    // Only now does anyone read; the writer hands over what it kept as it stops.
    std::string text;
    std::thread reader([&] {
        char buffer[4096];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    });
    writer.reset();
    close(out[1]);
    reader.join();
    close(out[0]);
    size_t shown = 0, dropped = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("line ", 0) == 0) ++shown;
        else if (line.rfind("[CONSOLE] ", 0) == 0) dropped += std::stoul(line.substr(10));
    }
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(shown + dropped, LINES);
}

} // namespace
} // namespace cog::test

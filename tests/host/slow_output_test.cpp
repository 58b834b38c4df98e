// The real host with an output nobody reads: a client's flood of key lines must cost dropped
// log lines, never the game's frames.
#include "shared/log/console_writer.h"
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace cog::test {
namespace {

TEST(SlowOutput, AStalledLogReaderDoesNotStopTheGame) {
    const HostProcess host = spawn_host_process({"--port", "0", "--web-port", "0"});
    ASSERT_GE(host.pid, 0);
    const pid_t pid = host.pid;
    const int out[1] = {host.output};
    // Read only as far as the port; from then on nobody reads, and the pipe fills.
    std::string output;
    char buffer[512];
    const std::string listening = "Server listening on 0.0.0.0:";
    size_t at = std::string::npos;
    while ((at = output.find(listening)) == std::string::npos || output.find('\n', at) == std::string::npos) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        output.append(buffer, static_cast<size_t>(n));
    }
    ASSERT_NE(at, std::string::npos) << output;
    const uint16_t port = static_cast<uint16_t>(std::stoi(output.substr(at + listening.size())));

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

    kill(pid, SIGTERM);
    while (read(out[0], buffer, sizeof buffer) > 0) {
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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

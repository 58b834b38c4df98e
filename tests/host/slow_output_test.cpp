// The real host with an output nobody reads: a client's flood of key lines must cost dropped
// log lines, never the game's frames.
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
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

} // namespace
} // namespace cog::test

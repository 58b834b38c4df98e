// A client's per-frame byte budget: a burst of large commands waiting in its socket is taken a
// slice per frame, not all in the frame it arrived.
#include "tests/host/host_harness.h"

#include "server/network/connections.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>

namespace cog::test {
namespace {

constexpr int COMMANDS = 12;
constexpr size_t BODY_BYTES = 64 * 1024;
// Commands one frame can finish: its budget, plus the one a previous frame began.
constexpr size_t MOST_PER_FRAME = MAX_READ_BYTES_PER_CLIENT_FRAME / (BODY_BYTES + 4) + 1;
// Frames the whole burst needs at the least.
constexpr size_t FEWEST_FRAMES =
    (COMMANDS * (BODY_BYTES + 4) + MAX_READ_BYTES_PER_CLIENT_FRAME - 1) / MAX_READ_BYTES_PER_CLIENT_FRAME;

// "tm" padded with spaces to a body of exactly BODY_BYTES.
std::string padded_toggle() {
    std::string body = "{\"kind\":3,\"settings_command\":\"tm";
    body.append(BODY_BYTES - body.size() - 2, ' ');
    body += "\"}";
    return body;
}

TEST(ReadBudget, ADozenLargeCommandsSentAtOnceAreTakenOverSeveralFrames) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient heavy(h.port());
    ASSERT_EQ(h.login(heavy, "heavy"), 1u);
    // Room for the whole burst on the client's side, so that it all waits before the first frame
    // reads any of it (the host's side holds the rest).
    int send_buffer = 2 * COMMANDS * static_cast<int>(BODY_BYTES);
    setsockopt(heavy.fd(), SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer);
    const std::string body = padded_toggle();
    std::atomic<bool> all_sent{false};
    std::thread writer([&] {
        for (int i = 0; i < COMMANDS; ++i) heavy.send_frame(body);
        all_sent = true;
    });
    // Should the socket buffers be too small for the burst, the frames below let the writer on.
    for (int i = 0; i < 200 && !all_sent; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));

    ConsoleCapture console;
    std::vector<size_t> per_frame; // commands handled in each frame that handled any
    size_t handled = 0;
    for (int frame = 0; frame < 100 && handled < COMMANDS; ++frame) {
        h.frames(1);
        const size_t now = console.count("Player 1 toggled mouse pointers");
        if (now > handled) per_frame.push_back(now - handled);
        handled = now;
        if (!all_sent) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    writer.join();
    EXPECT_EQ(handled, static_cast<size_t>(COMMANDS));
    EXPECT_GE(per_frame.size(), FEWEST_FRAMES);
    for (size_t n : per_frame) EXPECT_LE(n, MOST_PER_FRAME);
    EXPECT_TRUE(h.state().global.players.at(1).connected);
}

} // namespace
} // namespace cog::test

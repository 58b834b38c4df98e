// Frame pacing on a fake clock: the host's rate on average despite whole-millisecond sleeps, and
// no burst of frames after a slow one.
#include "client/window/frame_pacer.h"

#include <gtest/gtest.h>

#include <vector>

namespace cog::client {
namespace {

// Time moves only when slept on, or when a frame's work is said to take some.
class FakeClock final : public Clock {
public:
    int64_t now = 1'000'000'000;
    int64_t wall_ns() override { return now; }
    int64_t monotonic_ns() override { return now; }
    void sleep_ms(int64_t ms) override { now += ms * 1'000'000 + 70'000; } // sleeps overshoot a little
};

TEST(FramePacer, KeepsTheHostsRateAndDoesNotRushAfterASlowFrame) {
    FakeClock clock;
    FramePacer pacer(clock);
    const int64_t start = clock.now;
    for (int frame = 0; frame < 625; ++frame) {
        clock.now += 3'000'000; // the frame's own work
        pacer.wait(frame_period_ns(false, 0));
    }
    // 625 host frames are 10 s; 60 frames a second would take 10.4 s.
    EXPECT_NEAR(static_cast<double>(clock.now - start) / 1e9, 10.0, 0.02);

    // A frame that took 100 ms is followed by ordinary frames, not by six quick ones.
    clock.now += 100'000'000;
    pacer.wait(HOST_FRAME_NS);
    std::vector<int64_t> gaps;
    for (int frame = 0; frame < 5; ++frame) {
        const int64_t before = clock.now;
        clock.now += 1'000'000;
        pacer.wait(HOST_FRAME_NS);
        gaps.push_back(clock.now - before);
    }
    for (int64_t gap : gaps) EXPECT_GE(gap, HOST_FRAME_NS - 1'000'000);

    // With vertical sync a faster display paces by itself; a 60 Hz one still gets the host's rate.
    EXPECT_EQ(frame_period_ns(true, 144), 1'000'000'000 / 144);
    EXPECT_EQ(frame_period_ns(true, 60), HOST_FRAME_NS);
}

} // namespace
} // namespace cog::client

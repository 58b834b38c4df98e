// Frame pacing on the injected clock: frames start on a fixed grid, so millisecond sleeps never
// add up to a slower rate, and a late frame does not cause a burst of catching-up frames.
#pragma once

#include "shared/platform/clock.h"

#include <cstdint>

namespace cog::client {

inline constexpr int64_t HOST_FRAME_NS = 16'000'000; // the host's frame: 62.5 pictures a second

// The period to pace to: the host's frame, or the display's refresh when vertical sync is on and
// the display is faster (a present that blocks then paces the loop by itself).
int64_t frame_period_ns(bool vsync, int refresh_hz);

class FramePacer {
public:
    explicit FramePacer(Clock& clock) : clock_(clock) {}
    // Sleeps until the next frame of the grid is due.
    void wait(int64_t period_ns);

private:
    Clock& clock_;
    int64_t next_ns_ = -1; // when the next frame is due
};

} // namespace cog::client

// Grid-based frame pacing.
#include "client/window/frame_pacer.h"

#include <algorithm>

namespace cog::client {

int64_t frame_period_ns(bool vsync, int refresh_hz) {
    if (!vsync || refresh_hz <= 0) return HOST_FRAME_NS;
    return std::min(HOST_FRAME_NS, int64_t{1'000'000'000} / refresh_hz);
}

void FramePacer::wait(int64_t period_ns) {
    const int64_t now = clock_.monotonic_ns();
    if (next_ns_ < 0) next_ns_ = now;
    next_ns_ += period_ns;
    // More than a frame behind: start a new grid here instead of rushing to catch up.
    if (now > next_ns_ + period_ns) next_ns_ = now;
    if (next_ns_ > now) clock_.sleep_ms((next_ns_ - now) / 1'000'000);
}

} // namespace cog::client

// Bumping the frame-time histogram and naming the screen.
#include "server/metrics/room_metrics.h"

#include <algorithm>

namespace cog::metrics {

void FrameTimes::observe(int64_t ns) {
    const auto bound = std::lower_bound(FRAME_BUCKET_BOUNDS_NS.begin(), FRAME_BUCKET_BOUNDS_NS.end(), ns);
    ++bucket_counts[static_cast<size_t>(bound - FRAME_BUCKET_BOUNDS_NS.begin())];
    ++count;
    sum_ns += ns;
}

void RoomMetrics::set_screen(std::string_view name) {
    const size_t n = std::min(name.size(), screen.size() - 1);
    std::copy_n(name.begin(), n, screen.begin());
    screen[n] = '\0';
}

} // namespace cog::metrics

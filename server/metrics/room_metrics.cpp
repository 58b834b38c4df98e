// Naming the screen.
#include "server/metrics/room_metrics.h"

#include <algorithm>

namespace cog::metrics {

void RoomMetrics::set_screen(std::string_view name) {
    const size_t n = std::min(name.size(), screen.size() - 1);
    std::copy_n(name.begin(), n, screen.begin());
    screen[n] = '\0';
}

} // namespace cog::metrics

// A room's metrics in Prometheus' text exposition format (version 0.0.4).
#pragma once

#include "server/metrics/room_metrics.h"
#include "shared/metrics/families.h"

#include <string>

namespace cog::metrics {

std::string render_exposition(const RoomMetrics& metrics);

} // namespace cog::metrics

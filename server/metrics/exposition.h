// A room's metrics in Prometheus' text exposition format (version 0.0.4).
#pragma once

#include "server/metrics/room_metrics.h"

#include <string>

namespace cog::metrics {

inline constexpr const char* EXPOSITION_CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8";

std::string render_exposition(const RoomMetrics& metrics);

} // namespace cog::metrics

// The door's metrics in Prometheus' text exposition format.
#pragma once

#include "door/door_metrics.h"

#include <string>

namespace cog::door {

std::string render_door_exposition(const DoorMetrics& metrics);

} // namespace cog::door

// The Agones room source's counts, as the door's metrics show them.
#include "door/agones_rooms.h"
#include "door/door_metrics.h"

namespace cog::door {

void AgonesRooms::count_into(DoorMetrics& metrics) const {
    metrics.agones = true;
    metrics.allocations[index(Allocation::Allocated)] = counts_.allocated;
    metrics.allocations[index(Allocation::NoReadyRoom)] = counts_.no_ready_room;
    metrics.allocations[index(Allocation::Failed)] = counts_.failed;
    metrics.agones_api_errors = counts_.api_errors;
}

} // namespace cog::door

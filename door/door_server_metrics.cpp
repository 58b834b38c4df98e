// The door's counts of rooms, and the snapshot handed to the metrics server after each round.
#include "door/door_server.h"

namespace cog::door {

static_assert(index(RoomEndReason::Failed) + 1 == ROOM_END_NAMES.size(), "a name for every end of a room");

void DoorServer::count_room_event(const RoomEvent& event, const RoomMeta& meta) {
    if (event.kind == RoomEvent::Kind::Made) {
        ++metrics_.rooms_made;
        metrics_.room_start.observe(ROOM_START_BOUNDS_NS, (now_ms() - meta.asked_ms) * 1'000'000);
        return;
    }
    ++metrics_.rooms_ended[index(event.reason)];
}

void DoorServer::publish_metrics() {
    metrics_.connections_now = connections_.size();
    metrics_.rooms_starting = metrics_.rooms_ready = 0;
    for (const auto& [code, meta] : live_) ++(meta.made ? metrics_.rooms_ready : metrics_.rooms_starting);
    rooms_.count_into(metrics_);
    metrics_out_->publish(metrics_);
}

} // namespace cog::door

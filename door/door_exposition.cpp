// The door's snapshot as metric families, written in the text format by shared/metrics.
#include "door/door_exposition.h"

#include "shared/metrics/families.h"

#include <vector>

namespace cog::door {

namespace {

using metrics::histogram;
using metrics::labelled;
using metrics::MetricFamily;
using metrics::single;

double value(uint64_t count) { return static_cast<double>(count); }

void add_agones(const DoorMetrics& d, std::vector<MetricFamily>& families) {
    families.push_back(labelled("cogwell_door_agones_allocations_total",
                                "Allocations the door asked of the Agones fleet, by how they were answered",
                                metrics::MetricType::Counter, "outcome", ALLOCATION_NAMES, d.allocations));
    families.push_back(single("cogwell_door_agones_api_errors_total",
                              "Lookups and refreshes the Kubernetes API refused or left unanswered",
                              metrics::MetricType::Counter, value(d.agones_api_errors)));
}

} // namespace

std::string render_door_exposition(const DoorMetrics& d) {
    constexpr auto C = metrics::MetricType::Counter;
    constexpr auto G = metrics::MetricType::Gauge;
    std::vector<MetricFamily> families;
    families.push_back(labelled("cogwell_door_rooms", "Rooms this door made that are live now, by state", G, "state",
                                std::array<std::string_view, 2>{"starting", "ready"},
                                std::array<uint64_t, 2>{d.rooms_starting, d.rooms_ready}));
    families.push_back(single("cogwell_door_rooms_made_total", "Rooms this door made that became ready", C,
                              value(d.rooms_made)));
    families.push_back(labelled("cogwell_door_rooms_ended_total",
                                "Rooms this door made that ended (failed: never became ready), by reason", C, "reason",
                                ROOM_END_NAMES, d.rooms_ended));
    families.push_back(histogram("cogwell_door_room_allocation_seconds",
                                 "Time from a room being asked for to it being ready to join (an Agones allocation, "
                                 "or a local room's process listening)",
                                 ROOM_START_BOUNDS_NS, d.room_start));
    families.push_back(single("cogwell_door_connections", "Sockets from players open now", G, value(d.connections_now)));
    families.push_back(single("cogwell_door_connections_accepted_total", "Sockets from players accepted", C,
                              value(d.connections_accepted)));
    families.push_back(single("cogwell_door_proxied_connections", "WebSockets passed through to a room now", G,
                              value(d.proxied_now)));
    families.push_back(single("cogwell_door_proxied_connections_total", "WebSockets passed through to a room", C,
                              value(d.proxied_total)));
    families.push_back(labelled("cogwell_door_proxied_bytes_total",
                                "Bytes passed through between players and rooms, by direction", C, "direction",
                                DIRECTION_NAMES, d.proxied_bytes));
    families.push_back(labelled("cogwell_door_refusals_total", "Sockets or requests the door turned away, by reason",
                                C, "reason", REFUSAL_NAMES, d.refusals));
    if (d.agones) add_agones(d, families);
    return metrics::serialize(families);
}

} // namespace cog::door

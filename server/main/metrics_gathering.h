// Fills the room's metrics with what other parts keep (seated players, traffic, refused
// connections, the log, the recording, the fleet calls, the screen) just before they are published.
#pragma once

#include <cstdint>

namespace cog {

struct HostState;
class RoomReporter;
class ConsoleWriter;
class Recorder;

// What the host may or may not have; nullptr: that part is not shown.
struct MetricsSources {
    const RoomReporter* fleet = nullptr;
    const ConsoleWriter* console = nullptr;
    const Recorder* recorder = nullptr;
};

void gather_room_metrics(HostState& host, const MetricsSources& sources);

} // namespace cog

// The room's snapshot as metric families, written in the text format by shared/metrics.
#include "server/metrics/exposition.h"

#include "shared/metrics/families.h"

#include <cstring>
#include <vector>

namespace cog::metrics {

namespace {

double value(uint64_t count) { return static_cast<double>(count); }

} // namespace

std::string render_exposition(const RoomMetrics& r) {
    constexpr auto C = MetricType::Counter;
    constexpr auto G = MetricType::Gauge;
    std::vector<MetricFamily> families;
    families.push_back(single("cogwell_frames_total", "Frames the host has run", C, value(r.frames)));
    families.push_back(histogram("cogwell_frame_duration_seconds",
                                "Time the host spent on each frame's work, before waiting for the next frame",
                                FRAME_BUCKET_BOUNDS_NS, r.frame_times));
    families.push_back(labelled("cogwell_players", "Players seated now, by how they are connected", G, "transport",
                                SEAT_TRANSPORT_NAMES, r.players));
    families.push_back(single("cogwell_logins_accepted_total", "Logins that were given a seat (new or taken back)", C,
                              value(r.logins_accepted)));
    families.push_back(labelled("cogwell_logins_refused_total",
                                "Logins, or connections waiting for one, turned away, by reason", C, "reason",
                                LOGIN_REFUSAL_NAMES, r.logins_refused));
    families.push_back(labelled("cogwell_connections_dropped_total", "Seated players' connections dropped, by reason",
                                C, "reason", DROP_CAUSE_NAMES, r.drops));
    families.push_back(labelled("cogwell_sent_bytes_total",
                                "Bytes of protocol messages handed to each transport (before WebSocket compression)",
                                C, "transport", WIRE_NAMES, r.sent_bytes));
    families.push_back(labelled("cogwell_received_bytes_total",
                                "Bytes of protocol messages read from each transport (after WebSocket decompression)",
                                C, "transport", WIRE_NAMES, r.received_bytes));
    families.push_back(labelled("cogwell_pictures_sent_total", "Pictures sent, whole or as the change from the last",
                                C, "form", std::array<std::string_view, 2>{"whole", "changes"},
                                std::array<uint64_t, 2>{r.pictures_whole, r.pictures_changes}));
    families.push_back(single("cogwell_log_lines_written_total", "Log lines queued for standard output", C,
                              value(r.log_lines_written)));
    families.push_back(single("cogwell_log_lines_dropped_total",
                              "Log lines dropped because standard output was not read fast enough", C,
                              value(r.log_lines_dropped)));
    if (r.recording)
        families.push_back(single("cogwell_recording_bytes_total", "Bytes of the game's recording written to disk", C,
                                  value(r.recording_bytes)));
    if (r.fleet)
        families.push_back(labelled("cogwell_sidecar_calls_failed_total",
                                    "Calls to the fleet sidecar that failed or got no answer, by call", C, "call",
                                    SIDECAR_CALL_NAMES, r.sidecar_failed));
    const std::string screen(r.screen.data(), strnlen(r.screen.data(), r.screen.size()));
    MetricFamily info = family("cogwell_screen_info", "The screen on top of the room's stack, as its label", G);
    add_sample(info, 1, {{"screen", screen.empty() ? "NONE" : screen}});
    families.push_back(std::move(info));
    families.push_back(single("cogwell_start_time_seconds", "When the host started, in seconds since 1970", G,
                              static_cast<double>(r.start_time_s)));
    return serialize(families);
}

} // namespace cog::metrics

// Copying the counts the connection table, the log writer, the recorder and the fleet reporter
// keep into the room's metrics, and counting the seated players by transport.
#include "server/main/metrics_gathering.h"

#include "server/fleet/room_reporter.h"
#include "server/main/host_state.h"
#include "server/main/sessions.h"
#include "server/recording/recorder.h"
#include "shared/log/console_writer.h"

namespace cog {

namespace {

using metrics::index;
using metrics::LoginRefusal;
using metrics::SeatTransport;

SeatTransport seat_transport(const Transport& transport) {
    if (!transport.web) return SeatTransport::Tcp;
    return transport.web->picture_changes ? SeatTransport::WebSocketChanges : SeatTransport::WebSocket;
}

void count_players(HostState& host) {
    host.metrics.players = {};
    for (const auto& [id, player] : host.global.players)
        if (const ClientSocket* socket = human_socket(host, player))
            ++host.metrics.players[index(seat_transport(socket->transport))];
}

void copy_connection_counts(metrics::RoomMetrics& m, const ConnectionCounts& counts) {
    m.sent_bytes = counts.sent_bytes;
    m.received_bytes = counts.received_bytes;
    m.logins_refused[index(LoginRefusal::WaitingFull)] = counts.refused_waiting_full;
    m.logins_refused[index(LoginRefusal::AddressWaiting)] = counts.refused_address_waiting;
    m.logins_refused[index(LoginRefusal::BadMessage)] = counts.refused_bad_message;
    m.logins_refused[index(LoginRefusal::Stalled)] = counts.refused_stalled;
}

static_assert(SIDECAR_CALL_KINDS == metrics::SIDECAR_CALL_NAMES.size(), "one metric label per sidecar call");

} // namespace

void gather_room_metrics(HostState& host, const MetricsSources& sources) {
    metrics::RoomMetrics& m = host.metrics;
    count_players(host);
    copy_connection_counts(m, host.connections.counts);
    if (sources.console) {
        m.log_lines_written = sources.console->lines_queued();
        m.log_lines_dropped = sources.console->lines_dropped();
    }
    m.recording = sources.recorder != nullptr;
    if (sources.recorder) m.recording_bytes = sources.recorder->bytes_written();
    m.fleet = sources.fleet != nullptr;
    if (sources.fleet) m.sidecar_failed = sources.fleet->failed_calls();
    const Screen* top = host.screen_stack.top();
    m.set_screen(top ? screen_id_name(top->id) : "NONE");
}

} // namespace cog

// What one room tells the fleet manager: ready once listening, a health beat every 2 s, its
// players in the fleet's player List, a label with its screen and player count, and that it may be
// replaced by a fresh one: once a game is over and the room has stood empty long enough, or once
// it was allocated to a group that never came or left without playing.
#pragma once

#include "server/fleet/refusal_warnings.h"
#include "server/fleet/sidecar_client.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cog {

struct FleetSettings {
    uint16_t sidecar_port = DEFAULT_SIDECAR_PORT;
    ListApi list_api = ListApi::BETA;
    int64_t idle_shutdown_ns = 60'000'000'000;
    int64_t allocated_timeout_ns = 300'000'000'000; // allocated, no game, and empty this long
    int64_t health_interval_ns = 2'000'000'000;
    int64_t state_interval_ns = 1'000'000'000;      // pace of reading the GameServer's state
    int64_t retry_ns = 1'000'000'000;       // pace of repeating a call the sidecar did not take
    int64_t warning_interval_ns = 60'000'000'000; // at most one warning per kind of refusal in this
    int64_t call_timeout_ms = 1000;         // shorter than the health interval, so beats keep flowing
};

// The room as one frame left it.
struct RoomSnapshot {
    int64_t now_ns = 0;                         // monotonic
    std::span<const uint32_t> connected_humans; // ids, any order
    std::string_view screen;                    // the top screen's name
    bool in_lobby = true;
};

class RoomReporter {
public:
    // Player List calls are sent only while fewer than this many calls wait, so labels and the
    // shutdown request always find room behind them.
    static constexpr size_t LIST_CALLS_WAITING = SidecarClient::MAX_QUEUED / 2;

    RoomReporter(const FleetSettings& settings, int64_t now_ns);

    // The listener is open: players may be sent here.
    void report_ready(int64_t now_ns);
    // Once per frame; only queues calls and moves transfers along, never waits.
    void observe(const RoomSnapshot& room);

    bool idle() const { return sidecar_.idle(); }
    // Calls of each kind (indexed by SidecarCall) that failed or got no answer, since the start.
    const std::array<uint64_t, SIDECAR_CALL_KINDS>& failed_calls() const { return failed_calls_; }
    // The GameServer's state as the sidecar last told it ("Ready", "Allocated", ...); empty
    // until it has answered.
    const std::string& fleet_state() const { return fleet_state_; }

private:
    void pump(int64_t now_ns); // advances the transfers and takes note of the calls that finished
    void take_outcome(const SidecarOutcome& outcome, int64_t now_ns);
    void note_state(const std::string& state, int64_t now_ns);
    void sync_player_list(int64_t now_ns);
    void report_labels(const RoomSnapshot& room);
    void watch_for_idle(const RoomSnapshot& room);
    bool replacement_due(const RoomSnapshot& room);
    void set_label(std::string_view key, std::string_view value, std::string& last_sent);

    FleetSettings settings_;
    SidecarClient sidecar_;
    RefusalWarnings warnings_;
    std::array<uint64_t, SIDECAR_CALL_KINDS> failed_calls_{};
    bool ready_wanted_ = false;
    bool ready_acknowledged_ = false;
    bool ready_in_flight_ = false; // asked and not answered yet
    int64_t ready_sent_ns_ = 0;
    int64_t next_health_ns_ = 0;
    int64_t next_state_ns_ = 0;
    std::vector<uint32_t> players_; // connected at the last frame, ascending
    std::vector<uint32_t> listed_;  // in the sidecar's player List or on the way there, ascending
    int64_t list_retry_ns_ = 0;     // adds wait until then after a refused one
    std::string screen_label_;
    std::string players_label_;
    std::string fleet_state_;
    bool game_started_ = false;  // the room has left its lobby at least once
    int64_t empty_since_ns_ = -1; // -1: someone is here
    int64_t allocated_ns_ = -1;   // when the room was first seen Allocated; -1: not yet
    int64_t shutdown_sent_ns_ = -1; // -1: never asked
    bool shutdown_acknowledged_ = false;
};

// A label value Kubernetes accepts: letters, digits, '-', '_' and '.', at most 63 characters,
// starting and ending with a letter or digit.
std::string label_value(std::string_view text);

} // namespace cog

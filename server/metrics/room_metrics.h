// What a room counts for its operator: plain integers owned and bumped by the frame's thread,
// copied whole into a published snapshot (shared/metrics/snapshot_exchange.h) that the metrics
// server renders.
#pragma once

#include "shared/metrics/histogram.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cog::metrics {

// How a seated player is connected; a WebSocket that asked for pictures as changes is its own kind.
enum class SeatTransport : uint8_t { Tcp, WebSocket, WebSocketChanges };
inline constexpr std::array<std::string_view, 3> SEAT_TRANSPORT_NAMES = {"tcp", "websocket", "websocket_changes"};

// The wire a byte travelled: the TCP game port or the web port's WebSockets.
enum class Wire : uint8_t { Tcp, WebSocket };
inline constexpr std::array<std::string_view, 2> WIRE_NAMES = {"tcp", "websocket"};

// Why a login (or the connection that would have carried it) was turned away.
enum class LoginRefusal : uint8_t {
    AddressSeats,   // the address already holds its most seats
    AddressRate,    // the address takes new seats too fast
    AddressWaiting, // the address already has its most connections waiting for their LOGIN
    WaitingFull,    // every place for a connection waiting for its LOGIN is taken
    BadMessage,     // the first message was not a LOGIN, or could not be read
    Stalled,        // no LOGIN within the stall limit
};
inline constexpr std::array<std::string_view, 6> LOGIN_REFUSAL_NAMES = {
    "address_seats", "address_rate", "address_waiting", "waiting_full", "bad_message", "stalled"};

// Why a seated player's connection was dropped.
enum class DropCause : uint8_t { Closed, Stalled, Oversize, Unframeable, SendFailed, WrongAdminTokens };
inline constexpr std::array<std::string_view, 6> DROP_CAUSE_NAMES = {
    "closed", "stalled", "oversize", "unframeable", "send_failed", "wrong_admin_tokens"};

// The fleet sidecar's calls, in the order the fleet code declares them.
inline constexpr std::array<std::string_view, 7> SIDECAR_CALL_NAMES = {
    "ready", "health", "label", "list_add", "list_remove", "shutdown", "gameserver"};

// Upper bounds of the frame-time buckets, in nanoseconds; 16.7 ms is one frame at 60 per second.
inline constexpr std::array<int64_t, 11> FRAME_BUCKET_BOUNDS_NS = {
    1'000'000, 2'000'000, 4'000'000, 8'000'000, 12'000'000, 16'700'000,
    25'000'000, 33'400'000, 50'000'000, 100'000'000, 250'000'000};

// Frame times as a histogram: one count per bucket (not cumulative), the last past every bound.
struct FrameTimes : Histogram<FRAME_BUCKET_BOUNDS_NS.size()> {
    void observe(int64_t ns) { Histogram::observe(FRAME_BUCKET_BOUNDS_NS, ns); }
};

template <typename E>
constexpr size_t index(E e) {
    return static_cast<size_t>(e);
}

struct RoomMetrics {
    // Counted as they happen.
    uint64_t frames = 0;
    FrameTimes frame_times;
    uint64_t logins_accepted = 0;
    std::array<uint64_t, LOGIN_REFUSAL_NAMES.size()> logins_refused{};
    std::array<uint64_t, DROP_CAUSE_NAMES.size()> drops{};
    uint64_t pictures_whole = 0;   // sent as the whole picture
    uint64_t pictures_changes = 0; // sent as the change from the one before
    // Gathered from the parts that keep them, just before a snapshot is published.
    std::array<uint64_t, SEAT_TRANSPORT_NAMES.size()> players{}; // seated now
    std::array<uint64_t, WIRE_NAMES.size()> sent_bytes{};
    std::array<uint64_t, WIRE_NAMES.size()> received_bytes{};
    uint64_t log_lines_written = 0;
    uint64_t log_lines_dropped = 0;
    bool recording = false; // the recording counter is shown only while there is one
    uint64_t recording_bytes = 0;
    bool fleet = false;     // the sidecar counters are shown only when the room reports to one
    std::array<uint64_t, SIDECAR_CALL_NAMES.size()> sidecar_failed{};
    std::array<char, 32> screen{}; // the top screen's name, NUL-terminated; empty: none
    int64_t start_time_s = 0;      // wall-clock seconds since 1970 when the host started

    void set_screen(std::string_view name);
};

} // namespace cog::metrics

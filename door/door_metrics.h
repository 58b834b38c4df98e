// What the door counts for its operator: plain integers owned and bumped by the door's one
// thread, copied whole into a published snapshot (shared/metrics/snapshot_exchange.h) that the
// metrics server's thread renders (door_exposition.h).
#pragma once

#include "shared/metrics/histogram.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cog::door {

// Why the door turned a socket or a request away.
enum class Refusal : uint8_t {
    AddressSockets,   // the address already holds its most sockets
    AddressRooms,     // the address made its most rooms for the period
    UnknownCodeRate,  // the address asked for too many codes that are no room
    RequestTimeout,   // a request not whole within its time
    BadRequest,       // unreadable, or a method or WebSocket path the door does not serve
    HeadersTooLarge,
    BodyTooLarge,
    RoomsBusy,        // every room the source may hold is taken (or the room could not be given)
    RoomStartFailed,  // the source could not even begin a room
    RoomNotReady,     // a room not ready within the wait
    RoomUnreachable,  // the room refused the door's connection
};
inline constexpr std::array<std::string_view, 11> REFUSAL_NAMES = {
    "address_sockets", "address_rooms",  "unknown_code_rate", "request_timeout",   "bad_request",     "headers_too_large",
    "body_too_large",  "rooms_busy",     "room_start_failed", "room_not_ready",    "room_unreachable"};

// Why a room this door made ended, in the order of RoomEndReason (room_source.h).
inline constexpr std::array<std::string_view, 5> ROOM_END_NAMES = {"idle", "exited", "crashed", "shutdown", "failed"};

// Which way proxied bytes went.
enum class Direction : uint8_t { ToRoom, ToPlayer };
inline constexpr std::array<std::string_view, 2> DIRECTION_NAMES = {"to_room", "to_player"};

// How the door's Agones allocations were answered.
enum class Allocation : uint8_t { Allocated, NoReadyRoom, Failed };
inline constexpr std::array<std::string_view, 3> ALLOCATION_NAMES = {"allocated", "no_ready_room", "failed"};

// Upper bounds of the buckets of a room's making, in nanoseconds (a local room starts in well
// under a second, an allocation waits on the cluster).
inline constexpr std::array<int64_t, 10> ROOM_START_BOUNDS_NS = {
    50'000'000, 100'000'000, 250'000'000, 500'000'000, 1'000'000'000,
    2'000'000'000, 4'000'000'000, 8'000'000'000, 15'000'000'000, 30'000'000'000};

template <typename E>
constexpr size_t index(E e) {
    return static_cast<size_t>(e);
}

struct DoorMetrics {
    // Counted as they happen.
    uint64_t connections_accepted = 0;
    std::array<uint64_t, REFUSAL_NAMES.size()> refusals{};
    uint64_t rooms_made = 0;
    std::array<uint64_t, ROOM_END_NAMES.size()> rooms_ended{};
    metrics::Histogram<ROOM_START_BOUNDS_NS.size()> room_start; // from asked for to ready, rooms this door made
    uint64_t proxied_total = 0;                         // connections passed through to a room
    uint64_t proxied_now = 0;
    std::array<uint64_t, DIRECTION_NAMES.size()> proxied_bytes{};
    // Gathered just before a snapshot is published.
    uint64_t connections_now = 0; // sockets from players open now
    uint64_t rooms_starting = 0;  // rooms this door made, not ready yet
    uint64_t rooms_ready = 0;
    bool agones = false; // the Agones counts are shown only when the rooms come from Agones
    std::array<uint64_t, ALLOCATION_NAMES.size()> allocations{};
    uint64_t agones_api_errors = 0; // lookups and refreshes refused or unanswered
};

} // namespace cog::door

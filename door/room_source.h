// Where the door's rooms come from: an interface of non-blocking calls, so that rooms run as
// local processes (local_rooms.h) or are asked of a cluster, and the door's one thread never waits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cog::door {

struct DoorMetrics;

// Why a room could not be started at once.
enum class RoomStartError : uint8_t {
    None,
    Full,        // the source holds as many rooms as it may
    CodeTaken,   // a live room already has this code
    SpawnFailed, // the source could not even begin (fork failed, no port, cluster refused)
};

// Why a room's code ended (or never began).
enum class RoomEndReason : uint8_t {
    Idle,     // empty for too long: stopped by the source
    Exited,   // the room's process ended by itself
    Crashed,  // the room's process died of a signal it was not sent
    Shutdown, // the door is closing
    Failed,   // never became reachable (exited before it listened, or too slow to start)
};

const char* room_end_reason_name(RoomEndReason reason);

enum class RoomState : uint8_t { Unknown, Starting, Ready };

// Where a room's WebSocket endpoint (its "/play") is reached; `host` is a numeric address.
struct RoomAddress {
    std::string host;
    uint16_t port = 0;
};

struct RoomLookup {
    RoomState state = RoomState::Unknown;
    RoomAddress address; // valid when Ready
};

// What became of rooms since the last poll.
struct RoomEvent {
    enum class Kind : uint8_t { Made, Failed, Ended } kind = Kind::Made;
    std::string code;
    RoomEndReason reason = RoomEndReason::Exited; // Failed and Ended
    std::string detail;                           // for the log line, e.g. "exit status 1", "signal 9"
};

class RoomSource {
public:
    virtual ~RoomSource() = default;
    // Begins making a room for `code` (already unique among the door's live codes); returns at
    // once. The room is reported Made (or Failed) by a later poll().
    virtual RoomStartError start_room(std::string_view code) = 0;
    // The state of the room with `code` (Unknown once it ended or failed).
    virtual RoomLookup find_room(std::string_view code) const = 0;
    // Asks about a code the source may not know yet (a room another door made): find_room then
    // answers Starting until it knows. A source that knows every room it has does nothing.
    virtual void look_up(std::string_view /*code*/) {}
    // Advances the source (readiness probes, idle timers, reaping) at `now_ms` (monotonic) and
    // appends what happened since the last call.
    virtual void poll(int64_t now_ms, std::vector<RoomEvent>& events) = 0;
    // How many players the door has connected to the room now (its idle timer runs at 0).
    virtual void set_players(std::string_view code, int players) = 0;
    // Rooms live or starting.
    virtual size_t room_count() const = 0;
    // Stops every room (the door is closing); each is reported Ended with Shutdown by later
    // polls; returns true once none is left.
    virtual bool shut_down(int64_t now_ms, std::vector<RoomEvent>& events) = 0;
    // Copies the source's own counts into the door's metrics (a source without any: nothing).
    virtual void count_into(DoorMetrics& /*metrics*/) const {}
};

} // namespace cog::door

// Rooms as cogwell-host processes on this machine, one per code, on loopback ports the door
// picks; they die with the door, even when it is killed outright.
#pragma once

#include "door/room_source.h"

#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace cog::door {

struct LocalRoomsConfig {
    std::string host_binary;             // the cogwell-host program
    std::string web_root;                // passed on to each room when not empty
    int max_rooms = 8;                   // live and starting together
    int64_t idle_ms = 300'000;           // a room with no player this long is stopped
    int64_t start_timeout_ms = 10'000;   // a room not reachable after this long failed
    int64_t stop_grace_ms = 5'000;       // SIGTERM, then SIGKILL after this long
    bool rooms_trust_door = true;        // rooms are told to read the door's PROXY header
};

class LocalRooms final : public RoomSource {
public:
    explicit LocalRooms(LocalRoomsConfig config);
    ~LocalRooms() override; // kills and reaps whatever is left

    RoomStartError start_room(std::string_view code) override;
    RoomLookup find_room(std::string_view code) const override;
    void poll(int64_t now_ms, std::vector<RoomEvent>& events) override;
    void set_players(std::string_view code, int players) override;
    size_t room_count() const override { return rooms_.size(); }
    bool shut_down(int64_t now_ms, std::vector<RoomEvent>& events) override;

    // The process of a room, for tests and logs (0 when there is none).
    pid_t room_pid(std::string_view code) const;

private:
    struct Room {
        pid_t pid = 0;
        uint16_t web_port = 0;
        bool ready = false;
        int players = 0;
        int64_t started_ms = -1;  // set at the first poll after the spawn
        int64_t empty_since_ms = -1;
        bool stopping = false;
        RoomEndReason stop_reason = RoomEndReason::Idle;
        int64_t stop_sent_ms = 0;
        bool killed = false;
        int probe_fd = -1; // a connection attempt to the web port, while starting
    };

    bool spawn(Room& room);
    bool pick_port(uint16_t& port) const;
    void probe(const std::string& code, Room& room, std::vector<RoomEvent>& events);
    void stop(Room& room, RoomEndReason reason, int64_t now_ms);
    // True when the room's process ended (and then the event is appended).
    bool reap(const std::string& code, Room& room, std::vector<RoomEvent>& events);

    LocalRoomsConfig config_;
    std::map<std::string, Room, std::less<>> rooms_;
    std::vector<std::string> environment_; // the door's, without what would change a room
};

} // namespace cog::door

// Rooms the door did not make but is told of at start (--static-room CODE=HOST:PORT), for
// benchmarks and tests against a stand-in room; every other code goes to the source behind.
#pragma once

#include "door/room_source.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace cog::door {

// "CODE=HOST:PORT" (HOST a numeric IPv4 address, or IPv6 in brackets) as a code and an address,
// or nothing when it is not one.
std::optional<std::pair<std::string, RoomAddress>> parse_static_room(std::string_view text);

class StaticRooms final : public RoomSource {
public:
    StaticRooms(std::map<std::string, RoomAddress, std::less<>> fixed, RoomSource& behind)
        : fixed_(std::move(fixed)), behind_(behind) {}

    // A fixed code is never drawn for a new room: it reads as taken.
    RoomStartError start_room(std::string_view code) override;
    RoomLookup find_room(std::string_view code) const override;
    void look_up(std::string_view code) override;
    void poll(int64_t now_ms, std::vector<RoomEvent>& events) override { behind_.poll(now_ms, events); }
    void set_players(std::string_view code, int players) override;
    size_t room_count() const override { return behind_.room_count(); }
    bool shut_down(int64_t now_ms, std::vector<RoomEvent>& events) override { return behind_.shut_down(now_ms, events); }
    // The counts are those of the source behind: the named rooms are not made, so add nothing.
    void count_into(DoorMetrics& metrics) const override { behind_.count_into(metrics); }

private:
    std::map<std::string, RoomAddress, std::less<>> fixed_;
    RoomSource& behind_;
};

} // namespace cog::door

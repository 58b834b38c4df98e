// The Agones resources the door reads and writes through the Kubernetes API: a
// GameServerAllocation asked of the fleet with the room's code as a label, and GameServers found
// again by that label. Only the fields the door relies on are read.
#pragma once

#include "door/room_source.h"

#include <string>
#include <string_view>
#include <vector>

namespace cog::door {

// What the door asks for and of what.
struct AgonesNames {
    std::string namespace_name;                 // the door's own namespace, the fleet's too
    std::string fleet = "cogwell";              // the Fleet whose Ready GameServers become rooms
    std::string web_port_name = "web";          // the fleet's port that serves the room's /play
    std::string room_label = "cogwell.dev/room"; // the GameServer label holding a room's code
};

// Letters and digits only, 1 to 16 of them: always a valid label value and safe in a selector.
bool valid_room_code(std::string_view code);

// POST: allocations of the namespace.
std::string allocation_path(const AgonesNames& names);
// GET: the fleet's GameServers carrying `code` in the room label; with an empty code, those
// carrying the label at all.
std::string room_lookup_path(const AgonesNames& names, std::string_view code);
// The GameServerAllocation: a Ready GameServer of the fleet, labelled with the code on allocation.
std::string allocation_body(const AgonesNames& names, std::string_view code);

enum class AllocationOutcome : unsigned char {
    Allocated,
    NoReadyRoom, // state UnAllocated or Contention: the fleet has no Ready GameServer to give now
    Unreadable,  // not JSON, or Allocated without a usable address or web port
};

struct AllocatedRoom {
    std::string game_server; // the GameServer's name, for the log
    RoomAddress address;
};

// Reads the answer to an allocation (a GameServerAllocation with its status).
AllocationOutcome read_allocation(std::string_view answer, std::string_view web_port_name, AllocatedRoom& room);

// Reads a GameServerList: the Allocated GameServers' codes (the room label's values) and where
// each is reached, in the list's order. A code given twice keeps its first GameServer; a
// GameServer being deleted, not Allocated or without a usable address is left out. False: the
// answer is no list.
struct ListedRoom {
    std::string code;
    AllocatedRoom room;
};
bool read_room_list(std::string_view answer, const AgonesNames& names, std::vector<ListedRoom>& rooms);

} // namespace cog::door

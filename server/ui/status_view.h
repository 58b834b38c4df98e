// What the status window shows, handed over by the host each frame: the window reads nothing else.
#pragma once

#include <cstdint>
#include <span>

namespace cog {

class Profiler;

struct StatusPlayerRow {
    uint32_t id = 0;
    bool connected = false;
    float mouse_x = 0, mouse_y = 0; // world units, from the latest input
    bool show_mouse = false;
    bool is_admin = false; // may use the debug commands in the admin mode
};

struct StatusView {
    bool running = false;
    int screen_count = 0; // screens on the stack
    std::span<const StatusPlayerRow> players; // every player of the run, by id
    const Profiler* profiler = nullptr;
    const char* debug_commands = "open"; // who may use them: "open", "admin" or "off"
    const char* fleet_state = "";        // the fleet's word for the room ("Ready", "Allocated"); empty: no fleet
};

} // namespace cog

// Text commands from clients: the per-player settings command and the debug commands.
#pragma once

#include <cstdint>
#include <string_view>

namespace cog {

struct HostState;

// "tm" / "toggle_mouse" switches the sender's pointer display (open to everyone in every mode);
// anything else is a debug command.
void handle_settings_command(HostState& host, uint32_t id, std::string_view text);
// Takes an admin claim, or runs the command from the command table when the room's mode lets
// this player; unknown words get the usage line.
void handle_debug_command(HostState& host, uint32_t id, std::string_view text);

} // namespace cog

// Text commands from clients: the per-player settings command and the debug commands.
#pragma once

#include <cstdint>
#include <string_view>

namespace cog {

struct HostState;

// "tm" / "toggle_mouse" switches the sender's pointer display; anything else is a debug command.
void handle_settings_command(HostState& host, uint32_t id, std::string_view text);
// Looks the first word up in the command table and runs it; unknown words get the usage line.
void handle_debug_command(HostState& host, uint32_t id, std::string_view text);

} // namespace cog

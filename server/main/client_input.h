// The input phase: drain every connected human's socket and act on each message in order.
#pragma once

#include <cstdint>
#include <string_view>

namespace cog {

struct HostState;

void process_client_input(HostState& host);

// "tm" / "toggle_mouse", or hand the line to the debug commands.
void handle_settings_command(HostState& host, uint32_t id, std::string_view text);
void handle_debug_command(HostState& host, uint32_t id, std::string_view text);

} // namespace cog

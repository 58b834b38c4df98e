// Who may use the debug commands: everybody, only the room's admins, or nobody.
#pragma once

#include "server/seats/secret_token.h"
#include "server/options/options.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cog {

struct HostState;

// Wrong tokens one connection may offer; the last one drops it.
inline constexpr int MAX_WRONG_ADMIN_TOKENS = 5;

struct DebugAccess {
    DebugCommandsMode mode = DebugCommandsMode::OPEN;
    std::string admin_token; // ADMIN mode only; never sent, logged once at start-up
};

// At start-up. In ADMIN mode makes the token and logs it once; when no token can be made the
// commands are turned off rather than left open.
void start_debug_access(DebugAccess& access, DebugCommandsMode mode, FillRandomBytes fill = fill_from_os);

// True when `command` (lower case) is the claim of admin rights in this mode.
bool is_admin_claim(const DebugAccess& access, std::string_view command);

// "admin <token>": the right token makes the sender an admin for as long as its player record
// lasts; a wrong one counts against its connection, which is dropped at the last allowed try.
void claim_admin(HostState& host, uint32_t id, std::optional<std::string_view> offered);

// Whether player `id` may run a debug command now; when not, the player has had its reply.
bool debug_command_allowed(HostState& host, uint32_t id);

} // namespace cog

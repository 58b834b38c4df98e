// The debug-command gate and the admin claim.
#include "server/main/debug_access.h"

#include "server/main/host_state.h"
#include "server/main/sessions.h"
#include "shared/log/log.h"

#include <cstring>

namespace cog {

void start_debug_access(DebugAccess& access, DebugCommandsMode mode, FillRandomBytes fill) {
    access.mode = mode;
    access.admin_token.clear();
    if (mode == DebugCommandsMode::ADMIN) {
        SecretToken token = make_secret_token(fill);
        if (token.error == SecretTokenError::None) access.admin_token = std::move(token.text);
        else {
            access.mode = DebugCommandsMode::OFF;
            LOG_ERROR("Cannot make the admin token (%s)", std::strerror(token.os_error));
        }
    }
    LOG_INFO("Debug commands: %s", debug_commands_mode_name(access.mode));
    if (!access.admin_token.empty()) LOG_INFO("Admin token: %s", access.admin_token.c_str());
}

bool is_admin_claim(const DebugAccess& access, std::string_view command) {
    return access.mode == DebugCommandsMode::ADMIN && command == "admin";
}

void claim_admin(HostState& host, uint32_t id, std::optional<std::string_view> offered) {
    PlayerConnection* record = find_player(host.global, id);
    if (!record) return;
    if (offered && secret_token_matches(host.debug_access.admin_token, *offered)) {
        record->is_admin = true;
        LOG_INFO("Player %u is now an admin of the room", id);
        send_system_message(host, "Admin rights granted", id);
        return;
    }
    send_system_message(host, "Wrong admin token", id);
    ClientSocket* socket = live_socket(host.connections, id);
    if (!socket) return;
    ++socket->wrong_admin_tokens;
    LOG_WARN("Player %u offered a wrong admin token (%d of %d)", id, socket->wrong_admin_tokens,
             MAX_WRONG_ADMIN_TOKENS);
    if (socket->wrong_admin_tokens >= MAX_WRONG_ADMIN_TOKENS) mark_broken(*socket, DropReason::WrongAdminTokens);
}

bool debug_command_allowed(HostState& host, uint32_t id) {
    switch (host.debug_access.mode) {
    case DebugCommandsMode::OPEN: return true;
    case DebugCommandsMode::ADMIN: {
        const PlayerConnection* record = find_player(host.global, id);
        if (record && record->is_admin) return true;
        send_system_message(host, "Debug commands are for the room's admin", id);
        LOG_WARN("Player %u is not an admin: debug command refused", id);
        return false;
    }
    case DebugCommandsMode::OFF: break;
    }
    send_system_message(host, "Debug commands are disabled", id);
    LOG_WARN("Debug commands are disabled: command of player %u refused", id);
    return false;
}

} // namespace cog

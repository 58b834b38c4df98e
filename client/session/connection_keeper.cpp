// Connection upkeep for the frame loop.
#include "client/session/connection_keeper.h"

#include "shared/log/log.h"

#include <string_view>

namespace cog::client {

void log_in(ClientState& state, double now_s) {
    state.session.logged_in = false;
    state.session.last_heard_s = now_s;
    state.held_input.reset();
    state.reader.forget_warnings();
    state.connection.send(login_message(state.options.name, state.session.client_id, state.session.reconnect_secret));
}

void keep_connected(ClientState& state, double now_s) {
    if (state.connection.is_open()) return;
    state.session.logged_in = false;
    if (state.connection.is_connecting()) {
        const ConnectError result = state.connection.finish_connect();
        if (result == ConnectError::None) {
            log_in(state, now_s);
        } else if (result == ConnectError::InProgress && now_s >= state.connect_deadline_s) {
            state.connection.close();
        }
        return;
    }
    if (now_s < state.next_connect_s) return;
    state.next_connect_s = now_s + RECONNECT_EVERY_S;
    state.connect_deadline_s = now_s + CONNECT_TIMEOUT_S;
    if (state.connection.start_connect(state.host_address) == ConnectError::None) log_in(state, now_s);
}

bool host_is_silent(const ClientState& state, double now_s) {
    return state.connection.is_open() && now_s - state.session.last_heard_s > HOST_SILENT_S;
}

void send_input(ClientState& state, double now_s) {
    // The snapshot is taken even when it cannot be sent, so stale edges never reach the host.
    const InputState input = take_snapshot(state.keys, state.mouse_world);
    if (!state.connection.is_open()) {
        state.held_input.reset();
        return;
    }
    const InputState merged = state.held_input ? merge_snapshots(*state.held_input, input) : input;
    if (host_is_silent(state, now_s) || state.connection.unsent_bytes() > 0) {
        state.held_input = merged;
        return;
    }
    state.held_input.reset();
    state.connection.send(input_message(merged));
}

void update_status(ClientState& state, double now_s) {
    std::string_view wanted = state.overlay.status;
    if (!state.connection.is_open()) {
        wanted = STATUS_LOST;
    } else if (host_is_silent(state, now_s)) {
        wanted = STATUS_SILENT;
    } else if (state.session.logged_in || wanted == STATUS_SILENT) {
        wanted = {};
    }
    if (wanted == state.overlay.status) return;
    if (!wanted.empty()) LOG_WARN("%.*s", static_cast<int>(wanted.size()), wanted.data());
    state.overlay.status.assign(wanted);
}

} // namespace cog::client

// Draining client sockets: input snapshots go to the top screen, command lines run at once.
#include "server/main/client_input.h"

#include "server/main/host_state.h"
#include "server/network/sessions.h"
#include "shared/log/console.h"
#include "shared/log/log.h"

#include <vector>

namespace cog {

namespace {

void print_pressed_keys(uint32_t id, const InputState& input) {
    for (int i = 0; i < LETTER_KEY_COUNT; ++i) {
        if (input.keys[static_cast<size_t>(i)].just_pressed)
            console_printf("[SERVER] Player %u received key: %c (index %d)\n", id, 'A' + i, i);
    }
    if (input.backspace.just_pressed) console_printf("[SERVER] Player %u received backspace\n", id);
}

void handle_input_message(HostState& host, uint32_t id, const InputState& input) {
    print_pressed_keys(id, input);
    if (PlayerConnection* record = find_player(host.global, id)) record->input = input;
    if (Screen* top = host.screen_stack.top()) top->data->handle_input(id, input);
}

void act_on_message(HostState& host, uint32_t id, const ClientMessage& message) {
    switch (message.kind) {
    case ClientMessageKind::INPUT: handle_input_message(host, id, message.input); break;
    case ClientMessageKind::SETTINGS_COMMAND: handle_settings_command(host, id, message.settings_command); break;
    case ClientMessageKind::LOGIN:
    case ClientMessageKind::CHAT: break; // accepted and dropped
    }
}

enum class DrainResult { Done, Disconnect };

// A client may have started a frame and stopped sending; past the stall limit it is dropped.
bool frame_stalled(HostState& host, ClientSocket& socket) {
    if (!socket.reader.frame_started()) {
        socket.frame_started_ns = 0;
        return false;
    }
    const int64_t now = host.clock.wall_ns();
    if (socket.frame_started_ns == 0) socket.frame_started_ns = now;
    return now - socket.frame_started_ns > STALLED_CLIENT_NS;
}

DrainResult drain_player(HostState& host, uint32_t id) {
    for (int handled = 0; handled < MAX_MESSAGES_PER_CLIENT_FRAME; ++handled) {
        // Looked up every time: a message may change the tables (a debug command pushing a
        // screen that seats bots, for one).
        auto it = host.connections.find(id);
        if (it == host.connections.end()) return DrainResult::Done;
        Received received = receive_message(it->second.fd, it->second.reader, &host.frame_arena);
        switch (received.error) {
        case ProtocolError::None:
            act_on_message(host, id, received.message);
            continue;
        case ProtocolError::Would_Block:
            if (frame_stalled(host, it->second)) {
                LOG_WARN("Player %u stalled in the middle of a frame, disconnecting", id);
                return DrainResult::Disconnect;
            }
            return DrainResult::Done;
        case ProtocolError::ConnectionClosed: return DrainResult::Disconnect;
        case ProtocolError::MessageTooLarge:
        case ProtocolError::InvalidLength:
            // The rest of the stream cannot be framed any more.
            LOG_WARN("Receive error from %u: %s", id, protocol_error_name(received.error));
            return DrainResult::Disconnect;
        default:
            LOG_WARN("Receive error from %u: %s", id, protocol_error_name(received.error));
            return DrainResult::Done;
        }
    }
    return DrainResult::Done; // the rest waits for the next frame
}

} // namespace

void process_client_input(HostState& host) {
    std::vector<uint32_t> ids;
    for (const auto& [id, player] : host.global.players)
        if (human_socket(host, player)) ids.push_back(id);
    std::vector<uint32_t> to_disconnect;
    for (uint32_t id : ids) {
        if (!is_connected_human(host, id)) continue;
        if (drain_player(host, id) == DrainResult::Disconnect) to_disconnect.push_back(id);
    }
    for (uint32_t id : to_disconnect) disconnect_player(host, id);
}

} // namespace cog

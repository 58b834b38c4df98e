// Draining client sockets: input snapshots go to the top screen, command lines run at once.
#include "server/main/client_input.h"
#include "server/main/commands.h"

#include "server/main/host_state.h"
#include "server/main/sessions.h"
#include "shared/log/console.h"
#include "shared/log/log.h"

#include <algorithm>
#include <vector>

namespace cog {

namespace {

// Console lines (key prints, command logs, a screen's progress lines) one client's messages may
// cause in one frame; an INPUT with every letter pressed is 27 lines. Over time each client also
// has its share of the diagnostic lines (its LineAllowance), so that sixteen players pressing
// every key every frame write no more than a few typists would; the log's lines of what changed
// are never held back by it. The rest are counted, in one line a second.
constexpr int MAX_CONSOLE_LINES_PER_CLIENT_FRAME = 64;

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
    case ClientMessageKind::PICTURE_REQUEST: host.picture_changes.forget(id); break;
    case ClientMessageKind::LOGIN:
    case ClientMessageKind::CHAT: break; // accepted and dropped
    }
}

// Takes this frame's messages from one player: at most a fixed number of messages and bytes,
// so a flooding client costs the frame no more than an honest one; the rest waits in its socket.
void drain_player_messages(HostState& host, uint32_t id, int64_t now) {
    size_t byte_budget = MAX_READ_BYTES_PER_CLIENT_FRAME;
    for (int handled = 0; handled < MAX_MESSAGES_PER_CLIENT_FRAME; ++handled) {
        // Looked up every time: a message may change the tables (a debug command pushing a
        // screen that seats bots, for one) or break this very connection (a failed reply).
        const PlayerConnection* record = find_player(host.global, id);
        ClientSocket* socket = record ? human_socket(host, *record) : nullptr;
        if (!socket) return;
        std::string* copy = host.observer ? &host.observed_body : nullptr;
        const size_t budget_before = byte_budget;
        const ClientRead read = read_client_message(*socket, now, byte_budget, &host.message_arena, copy);
        count_received(host.connections, socket->transport, budget_before - byte_budget);
        if (read.error == ProtocolError::None) {
            if (copy) host.observer->message(id, *copy);
            act_on_message(host, id, read.message);
        }
        // A bad message costs the player the rest of this frame, not the connection.
        if (read.error == ProtocolError::JsonDecodeFailed)
            LOG_WARN("Receive error from %u: %s", id, protocol_error_name(read.error));
        // The message's strings die here, whatever became of it.
        host.message_arena.release();
        if (read.error != ProtocolError::None) return;
    }
}

void drain_player(HostState& host, uint32_t id, int64_t now) {
    ClientSocket* socket = live_socket(host.connections, id);
    if (!socket) return;
    console_begin_line_budget(MAX_CONSOLE_LINES_PER_CLIENT_FRAME,
                              std::min(lines_allowed(socket->console_lines, now), MAX_CONSOLE_LINES_PER_CLIENT_FRAME));
    drain_player_messages(host, id, now);
    const LineBudgetUse used = console_end_line_budget();
    // Looked up again: a message may have replaced the player's connection.
    socket = live_socket(host.connections, id);
    if (!socket) return;
    spend_lines(socket->console_lines, used.diagnostics_written, used.withheld);
    if (const int left_out = take_left_out_report(socket->console_lines, now))
        console_printf("[SERVER] Player %u: %d more console lines not shown since the last such line\n", id, left_out);
}

} // namespace

void process_client_input(HostState& host) {
    const int64_t now = host.clock.monotonic_ns();
    // Only the connected are walked: the cost of a frame must not grow with past logins.
    std::vector<uint32_t> ids;
    for (const auto& [id, socket] : host.connections.sockets)
        if (is_connected_human(host, id)) ids.push_back(id);
    // A connection that fails is only marked here; it leaves at the frame's drop point, after
    // every other player's input of this frame has been handled.
    for (uint32_t id : ids) drain_player(host, id, now);
}

} // namespace cog

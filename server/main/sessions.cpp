// Accepting connections, the LOGIN handshake, reconnection and disconnection.
#include "server/network/sessions.h"

#include "server/main/host_state.h"
#include "shared/log/printable.h"
#include "server/network/socket_util.h"
#include "shared/log/log.h"

#include <cerrno>
#include <sys/socket.h>
#include <utility>

namespace cog {

namespace {

ServerMessage event_message(EventKind kind) {
    ServerMessage message;
    message.kind = ServerMessageKind::EVENT;
    message.event.kind = kind;
    return message;
}

void send_init(HostState& host, uint32_t id) {
    ServerMessage init = event_message(EventKind::INIT);
    init.event.client_id = id;
    init.event.world_width = 1280;
    init.event.world_height = 720;
    const auto it = host.connections.find(id);
    if (send_message(it->second.fd, init) != ProtocolError::None) disconnect_player(host, id);
}

// Returns the id of the returning player, or 0 when this login is not a reconnection.
uint32_t find_returning_player(const HostState& host, uint32_t previous_id, const std::string& name) {
    if (previous_id == 0) return 0;
    const PlayerConnection* record = find_player(host.global, previous_id);
    // Byte-for-byte name match; the connected flag is deliberately not consulted, so a client
    // presenting a live player's id and name takes the seat over.
    return record && record->name == name ? previous_id : 0;
}

uint32_t create_player(HostState& host, const std::string& name) {
    const uint32_t id = host.next_player_id++;
    PlayerConnection record;
    record.id = id;
    record.name = name;
    record.connected = true;
    record.mask = human_mask(id, host.global.mask_offset);
    record.show_mouse = true;
    // A bot may hold this id (bots number themselves after the highest id); the human replaces
    // its record and keeps its role entry.
    PlayerConnection& stored = host.global.players[id] = std::move(record);
    LOG_INFO("[NETWORK] Created PlayerConnection: id=%u, name='%s', name_ptr=%p", id, printable(stored.name).c_str(),
             static_cast<const void*>(stored.name.data()));
    return id;
}

void attach_socket(HostState& host, uint32_t id, PendingLogin&& login) {
    ClientSocket& slot = host.connections[id];
    // A reconnection replaces a socket that may still be open; nobody reads it any more.
    if (slot.fd >= 0 && slot.fd != login.fd) close_socket(slot.fd);
    slot.fd = login.fd;
    slot.reader = std::move(login.reader);
    slot.frame_started_ns = 0;
}

// The handshake once the first message has arrived.
void finish_login(HostState& host, PendingLogin&& login, const ClientMessage& message) {
    const std::string name = login_name(message.player_name);
    const std::string shown = printable(name);
    LOG_INFO("[NETWORK] Received LOGIN message with player_name='%s', previous_player_id=%u", shown.c_str(),
             message.previous_player_id);
    uint32_t id = find_returning_player(host, message.previous_player_id, name);
    const bool returning = id != 0;
    if (returning) {
        LOG_INFO("[NETWORK] Reconnection detected: reusing player_id=%u for '%s'", id, shown.c_str());
        host.global.players[id].connected = true;
        LOG_INFO("[NETWORK] Reusing existing PlayerConnection: id=%u, name='%s'", id, shown.c_str());
    } else {
        id = create_player(host, name);
    }
    attach_socket(host, id, std::move(login));
    if (returning) LOG_INFO("Player %u (%s) reconnected", id, shown.c_str());
    else LOG_INFO("Player %u (%s) joined", id, shown.c_str());
    if (Screen* top = host.screen_stack.top()) top->data->on_player_enter(id);
    send_init(host, id);
    if (!is_connected_human(host, id)) return;
    ServerMessage joined = event_message(EventKind::PLAYER_JOINED);
    joined.event.player_id = id;
    joined.event.player_name = name;
    broadcast_message(host, joined, id);
}

void refuse_login(int fd) {
    LOG_WARN("Expected LOGIN message from new client");
    close_socket(fd);
}

// Reads the first message of every waiting connection without blocking. A connection whose
// LOGIN has not completed within the stall limit is refused, so a silent client costs the
// others nothing.
void advance_pending_logins(HostState& host) {
    std::vector<PendingLogin> waiting = std::move(host.pending_logins);
    host.pending_logins.clear();
    const int64_t now = host.clock.wall_ns();
    for (PendingLogin& login : waiting) {
        Received received = receive_message(login.fd, login.reader, &host.frame_arena);
        if (received.error == ProtocolError::Would_Block) {
            if (now - login.accepted_ns > STALLED_CLIENT_NS) refuse_login(login.fd);
            else host.pending_logins.push_back(std::move(login));
            continue;
        }
        if (received.error != ProtocolError::None || received.message.kind != ClientMessageKind::LOGIN) {
            refuse_login(login.fd);
            continue;
        }
        finish_login(host, std::move(login), received.message);
    }
}

void admit_connection(HostState& host, int fd) {
    set_non_blocking(fd, true);
    set_no_delay(fd);
    const std::string peer = peer_address(fd);
    LOG_INFO("New connection from %s", peer.c_str());
    if (host.pending_logins.size() >= MAX_PENDING_LOGINS) {
        LOG_WARN("Too many connections waiting for LOGIN, refusing %s", peer.c_str());
        close_socket(fd);
        return;
    }
    PendingLogin login;
    login.fd = fd;
    login.accepted_ns = host.clock.wall_ns();
    host.pending_logins.push_back(std::move(login));
}

} // namespace

void accept_new_connections(HostState& host) {
    while (host.listener >= 0) {
        const int fd = accept4(host.listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == ECONNABORTED || error == EINTR) continue; // reset before we took it
            if (error != EAGAIN && error != EWOULDBLOCK) LOG_WARN("accept error: %s", socket_error_name(error));
            break;
        }
        admit_connection(host, fd);
    }
    advance_pending_logins(host);
}

ClientSocket* human_socket(HostState& host, const PlayerConnection& player) {
    if (!player.connected || player.is_bot) return nullptr;
    const auto it = host.connections.find(player.id);
    return it == host.connections.end() ? nullptr : &it->second;
}

bool is_connected_human(HostState& host, uint32_t id) {
    const PlayerConnection* record = find_player(host.global, id);
    return record && human_socket(host, *record);
}

void disconnect_player(HostState& host, uint32_t id) {
    PlayerConnection* record = find_player(host.global, id);
    if (!record || !record->connected) return;
    record->connected = false;
    if (auto it = host.connections.find(id); it != host.connections.end()) {
        close_socket(it->second.fd);
        host.connections.erase(it);
    }
    LOG_INFO("Player %u disconnected", id);
    if (Screen* top = host.screen_stack.top()) top->data->on_player_leave(id);
    ServerMessage left = event_message(EventKind::PLAYER_LEFT);
    left.event.player_id = id;
    broadcast_message(host, left, id);
}

void broadcast_message(HostState& host, const ServerMessage& message, uint32_t except_id) {
    for (const auto& [id, player] : host.global.players) {
        if (id == except_id) continue;
        // A broken stream is dropped by the next frame's picture send, not here.
        if (ClientSocket* socket = human_socket(host, player)) send_message(socket->fd, message);
    }
}

void broadcast_stop_music(HostState& host) { broadcast_message(host, event_message(EventKind::STOP_MUSIC), 0); }

void broadcast_sound(HostState& host, uint16_t sound_id, float volume) {
    ServerMessage sound = event_message(EventKind::PLAY_SOUND);
    sound.event.sound_id = sound_id;
    sound.event.volume = volume;
    broadcast_message(host, sound, 0);
}

void send_system_message(HostState& host, std::string_view text, uint32_t id) {
    const PlayerConnection* record = find_player(host.global, id);
    ClientSocket* socket = record ? human_socket(host, *record) : nullptr;
    if (!socket) return;
    ServerMessage chat = event_message(EventKind::CHAT_MESSAGE);
    chat.event.message = text;
    chat.event.sender_id = 0;
    send_message(socket->fd, chat);
}

} // namespace cog

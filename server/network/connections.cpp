// Accepting sockets, reading pending logins and clients within their budgets, sending with
// broken marks, and closing.
#include "server/network/connections.h"

#include "server/network/socket_util.h"
#include "shared/log/log.h"

#include <cerrno>
#include <sys/socket.h>
#include <utility>

namespace cog {

namespace {

void admit_connection(ConnectionTable& table, int fd, int64_t now_ns) {
    set_non_blocking(fd, true);
    set_no_delay(fd);
    const std::string peer = peer_address(fd);
    LOG_INFO("New connection from %s", peer.c_str());
    if (table.pending_logins.size() >= MAX_PENDING_LOGINS) {
        LOG_WARN("Too many connections waiting for LOGIN, refusing %s", peer.c_str());
        close_socket(fd);
        return;
    }
    PendingLogin login;
    login.fd = fd;
    login.accepted_ns = now_ns;
    table.pending_logins.push_back(std::move(login));
}

void refuse_login(int fd) {
    LOG_WARN("Expected LOGIN message from new client");
    close_socket(fd);
}

// A frame that completed resets the clock; one that is still unfinished starts it once.
bool frame_stalled(ClientSocket& socket, int64_t now_ns) {
    if (!socket.reader.frame_started()) {
        socket.frame_started_ns = 0;
        return false;
    }
    if (socket.frame_started_ns == 0) socket.frame_started_ns = now_ns;
    return now_ns - socket.frame_started_ns > STALLED_CLIENT_NS;
}

} // namespace

bool accept_connections(ConnectionTable& table, int64_t now_ns, bool refuse_when_full) {
    while (table.listener >= 0) {
        if (!refuse_when_full && table.pending_logins.size() >= MAX_PENDING_LOGINS) return true;
        const int fd = accept4(table.listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == ECONNABORTED || error == EINTR) continue; // reset before we took it
            if (error != EAGAIN && error != EWOULDBLOCK) LOG_WARN("accept error: %s", socket_error_name(error));
            break;
        }
        admit_connection(table, fd, now_ns);
    }
    return false;
}

std::vector<ArrivedLogin> take_arrived_logins(ConnectionTable& table, int64_t now_ns,
                                              std::pmr::monotonic_buffer_resource& scratch) {
    std::vector<ArrivedLogin> arrived;
    std::vector<PendingLogin> waiting = std::move(table.pending_logins);
    table.pending_logins.clear();
    for (PendingLogin& login : waiting) {
        const Received received = receive_message(login.fd, login.reader, &scratch, MAX_READ_BYTES_PER_CLIENT_FRAME);
        if (received.error == ProtocolError::Would_Block) {
            if (now_ns - login.accepted_ns > STALLED_CLIENT_NS) refuse_login(login.fd);
            else table.pending_logins.push_back(std::move(login));
        } else if (received.error != ProtocolError::None || received.message.kind != ClientMessageKind::LOGIN) {
            refuse_login(login.fd);
        } else {
            arrived.push_back({login.fd, std::string(received.message.player_name), received.message.previous_player_id});
        }
        scratch.release();
    }
    return arrived;
}

ClientSocket* live_socket(ConnectionTable& table, uint32_t id) {
    const auto it = table.sockets.find(id);
    if (it == table.sockets.end() || it->second.broken != DropReason::None) return nullptr;
    return &it->second;
}

void attach_socket(ConnectionTable& table, uint32_t id, int fd) {
    ClientSocket& slot = table.sockets[id];
    // A reconnection replaces a socket that may still be open; nobody reads it any more.
    if (slot.fd >= 0 && slot.fd != fd) close_socket(slot.fd);
    slot = ClientSocket{};
    slot.fd = fd;
}

namespace {
// Part of a frame may be in the stream already after a failure; anything written after it would
// be read as the rest of that frame, so the connection takes nothing more.
bool sent_or_broken(ClientSocket& socket, ProtocolError error) {
    if (error == ProtocolError::None) return true;
    mark_broken(socket, DropReason::SendFailed, error);
    return false;
}
} // namespace

bool send_to(ConnectionTable& table, uint32_t id, const ServerMessage& message) {
    ClientSocket* socket = live_socket(table, id);
    return socket && sent_or_broken(*socket, send_message(socket->fd, message));
}

bool send_frame_to(ConnectionTable& table, uint32_t id, std::string_view frame) {
    ClientSocket* socket = live_socket(table, id);
    return socket && sent_or_broken(*socket, send_frame(socket->fd, frame));
}

void mark_broken(ClientSocket& socket, DropReason reason, ProtocolError error) {
    if (socket.broken != DropReason::None) return;
    socket.broken = reason;
    socket.error = error;
}

ClientRead read_client_message(ClientSocket& socket, int64_t now_ns, size_t& byte_budget,
                               std::pmr::memory_resource* strings) {
    Received received = receive_message(socket.fd, socket.reader, strings, byte_budget);
    byte_budget -= received.bytes_read;
    ClientRead read{received.error, received.message};
    switch (received.error) {
    case ProtocolError::None:
        socket.frame_started_ns = 0;
        break;
    case ProtocolError::Would_Block:
        if (frame_stalled(socket, now_ns)) mark_broken(socket, DropReason::Stalled);
        break;
    case ProtocolError::ConnectionClosed: mark_broken(socket, DropReason::Closed); break;
    case ProtocolError::JsonDecodeFailed: break; // one whole frame consumed: still aligned
    default:
        // A rejected header, a body that could not be allocated or a failed read part-way
        // through a frame: the rest of the stream can no longer be framed.
        mark_broken(socket, DropReason::Unframeable, received.error);
        break;
    }
    return read;
}

uint32_t first_broken(const ConnectionTable& table) {
    for (const auto& [id, socket] : table.sockets)
        if (socket.broken != DropReason::None) return id;
    return 0;
}

void close_connection(ConnectionTable& table, uint32_t id) {
    const auto it = table.sockets.find(id);
    if (it == table.sockets.end()) return;
    close_socket(it->second.fd);
    table.sockets.erase(it);
}

void close_all(ConnectionTable& table) {
    close_socket(table.listener);
    table.listener = -1;
    for (PendingLogin& login : table.pending_logins) close_socket(login.fd);
    table.pending_logins.clear();
    for (auto& entry : table.sockets) close_socket(entry.second.fd);
    table.sockets.clear();
}

void log_drop(uint32_t id, const ClientSocket& socket) {
    switch (socket.broken) {
    case DropReason::Stalled: LOG_WARN("Player %u stalled in the middle of a frame, disconnecting", id); break;
    case DropReason::Unframeable: LOG_WARN("Receive error from %u: %s", id, protocol_error_name(socket.error)); break;
    case DropReason::SendFailed:
        LOG_WARN("Send to player %u failed: %s, disconnecting", id, protocol_error_name(socket.error));
        break;
    case DropReason::WrongAdminTokens: LOG_WARN("Player %u offered too many wrong admin tokens, disconnecting", id); break;
    case DropReason::Closed:
    case DropReason::None: break;
    }
}

} // namespace cog

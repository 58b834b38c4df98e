// Accepting sockets, reading pending logins and clients within their budgets, sending with
// broken marks, and closing.
#include "server/network/connections.h"

#include "server/network/socket_util.h"
#include "shared/log/log.h"
#include "shared/platform/own_machine.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <utility>

namespace cog {

namespace {

// Counted, and logged at most once a second: one line per refusal would let a flood of
// connections flood the log as well.
void log_refusals(ConnectionTable& table, int64_t now_ns) {
    if (table.refusals_unlogged == 0 || now_ns - table.refusal_logged_ns < REFUSAL_LOG_INTERVAL_NS) return;
    LOG_WARN("Too many connections waiting for LOGIN, refused %zu", table.refusals_unlogged);
    table.refusals_unlogged = 0;
    table.refusal_logged_ns = now_ns;
}

void refuse_connection(ConnectionTable& table, const Transport& transport, int64_t now_ns, uint64_t& counter) {
    ++counter;
    transport_close(transport);
    ++table.refusals_unlogged;
    log_refusals(table, now_ns);
}

// The pending login that gives way to a newcomer: the one that has waited longest without
// sending a byte; failing that, the one that has waited longest once it is past LOGIN_GRACE_NS
// (an honest client's LOGIN arrives within milliseconds, so one dribbling its bytes is not
// honest); end() when every one is younger than that and has started. One accepted in this very
// frame has not been read yet, so it cannot be told silent: it stays, or a flood of newcomers
// would push out every honest LOGIN before it is read.
std::vector<PendingLogin>::iterator login_to_give_way(std::vector<PendingLogin>& logins, int64_t now_ns) {
    auto silent = logins.end(), slow = logins.end();
    for (auto it = logins.begin(); it != logins.end(); ++it) {
        if (it->accepted_ns == now_ns) continue;
        auto& pick = transport_message_started(it->transport, it->reader) ? slow : silent;
        if (pick == logins.end() || it->accepted_ns < pick->accepted_ns) pick = it;
    }
    if (silent != logins.end()) return silent;
    if (slow != logins.end() && now_ns - slow->accepted_ns > LOGIN_GRACE_NS) return slow;
    return logins.end();
}

// Every connection counts from the moment it arrives, those of this very frame too: a burst of
// hundreds opened at once from one address would otherwise all be taken, each holding its buffers.
bool address_has_room(const ConnectionTable& table, const std::string& address) {
    if (table.pending_logins_per_address == 0 || is_own_machine(address)) return true;
    const auto waiting = std::count_if(table.pending_logins.begin(), table.pending_logins.end(),
                                       [&](const PendingLogin& login) { return login.address == address; });
    return static_cast<size_t>(waiting) < table.pending_logins_per_address;
}

// A new connection of either transport waits for its LOGIN here.
// `peer`: "address:port" as the limits and the log see it (the player's, behind a front door).
void admit_pending(ConnectionTable& table, const Transport& transport, int64_t now_ns, const std::string& peer) {
    const std::string address = address_part(peer);
    // Refused before its line: an address that keeps reconnecting is only counted.
    if (!address_has_room(table, address)) {
        refuse_connection(table, transport, now_ns, table.counts.refused_address_waiting);
        return;
    }
    LOG_INFO("New connection from %s", peer.c_str());
    if (table.pending_logins.size() >= MAX_PENDING_LOGINS) {
        const auto gives_way = login_to_give_way(table.pending_logins, now_ns);
        if (gives_way == table.pending_logins.end()) {
            refuse_connection(table, transport, now_ns, table.counts.refused_waiting_full);
            return;
        }
        transport_close(gives_way->transport);
        table.pending_logins.erase(gives_way);
    }
    PendingLogin login;
    login.transport = transport;
    login.reader = FrameReader(&table.frame_pool);
    login.accepted_ns = now_ns;
    login.address = address;
    table.pending_logins.push_back(std::move(login));
}

void admit_connection(ConnectionTable& table, int fd, int64_t now_ns) {
    set_no_delay(fd);
    admit_pending(table, Transport{fd, nullptr}, now_ns, peer_address(fd));
}

// Behind trusted front doors every new socket first waits in the gate for its first bytes; the
// listener is emptied into it (a bounded number a call), since the bytes that decide are not in
// the backlog. Those that pass wait for their LOGIN under the address they were judged to have.
bool accept_through_gate(ConnectionTable& table, int64_t now_ns) {
    bool more = false;
    for (size_t taken = 0; table.listener >= 0; ++taken) {
        if (taken == web::MAX_SOCKETS_AWAITING_HEADER) {
            more = true;
            break;
        }
        const int fd = accept4(table.listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            const int error = errno;
            if (error == ECONNABORTED || error == EINTR) continue;
            if (error != EAGAIN && error != EWOULDBLOCK) LOG_WARN("accept error: %s", socket_error_name(error));
            break;
        }
        set_no_delay(fd);
        table.proxy_gate.add(fd, now_ns);
    }
    for (const web::PassedSocket& socket : table.proxy_gate.take_passed(now_ns, ""))
        admit_pending(table, Transport{socket.fd, nullptr}, now_ns, socket.peer());
    return more;
}

void refuse_login(const Transport& transport, uint64_t& counter) {
    ++counter;
    LOG_WARN("Expected LOGIN message from new client");
    transport_close(transport);
}

// A frame that completed resets the clock; one that is still unfinished starts it once.
bool frame_stalled(ClientSocket& socket, int64_t now_ns) {
    if (!transport_message_started(socket.transport, socket.reader)) {
        socket.frame_started_ns = 0;
        return false;
    }
    if (socket.frame_started_ns == 0) socket.frame_started_ns = now_ns;
    return now_ns - socket.frame_started_ns > STALLED_CLIENT_NS;
}

} // namespace

bool accept_connections(ConnectionTable& table, int64_t now_ns, bool make_room) {
    log_refusals(table, now_ns); // the count left over from a burst that has ended
    if (table.proxy_gate.enabled()) return accept_through_gate(table, now_ns);
    while (table.listener >= 0) {
        if (!make_room && table.pending_logins.size() >= MAX_PENDING_LOGINS) return true;
        // Non-blocking and close-on-exec from the start: no window in which a read could block
        // or a spawned program could inherit the socket.
        const int fd = accept4(table.listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
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

void admit_web_connections(ConnectionTable& table, std::vector<std::shared_ptr<web::WebChannel>> opened,
                           int64_t now_ns) {
    for (std::shared_ptr<web::WebChannel>& channel : opened) {
        const std::string peer = channel->peer();
        admit_pending(table, Transport{-1, std::move(channel)}, now_ns, peer);
    }
}

std::vector<ArrivedLogin> take_arrived_logins(ConnectionTable& table, int64_t now_ns,
                                              std::pmr::monotonic_buffer_resource& scratch) {
    std::vector<ArrivedLogin> arrived;
    std::vector<PendingLogin> waiting = std::move(table.pending_logins);
    table.pending_logins.clear();
    for (PendingLogin& login : waiting) {
        if (login.budget_frame_ns != now_ns) {
            login.budget_frame_ns = now_ns;
            login.budget_left = MAX_READ_BYTES_PER_CLIENT_FRAME;
        }
        const Received received = transport_receive(login.transport, login.reader, &scratch, login.budget_left,
                                                    MAX_READ_BYTES_PER_CLIENT_FRAME);
        login.budget_left -= received.bytes_read;
        count_received(table, login.transport, received.bytes_read);
        if (received.error == ProtocolError::Would_Block) {
            if (now_ns - login.accepted_ns > STALLED_CLIENT_NS) refuse_login(login.transport, table.counts.refused_stalled);
            else table.pending_logins.push_back(std::move(login));
        } else if (received.error != ProtocolError::None || received.message.kind != ClientMessageKind::LOGIN) {
            refuse_login(login.transport, table.counts.refused_bad_message);
        } else {
            const std::optional<std::string_view> secret = received.message.reconnect_secret;
            arrived.push_back({login.transport, std::string(received.message.player_name),
                               received.message.previous_player_id,
                               secret ? std::optional<std::string>(*secret) : std::nullopt, login.address});
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

void attach_socket(ConnectionTable& table, uint32_t id, const Transport& transport, int64_t now_ns,
                   std::string_view address) {
    ClientSocket& slot = table.sockets[id];
    // A reconnection replaces a connection that may still be open; nobody reads it any more.
    if (slot.transport != Transport{} && slot.transport != transport) transport_close(slot.transport);
    slot = ClientSocket{};
    slot.transport = transport;
    slot.reader = FrameReader(&table.frame_pool);
    slot.last_message_ns = now_ns;
    slot.address = address.empty() ? address_part(transport_peer(transport)) : std::string(address);
}

std::string connection_address(const ConnectionTable& table, uint32_t id) {
    const auto it = table.sockets.find(id);
    return it == table.sockets.end() ? std::string() : it->second.address;
}

bool seat_in_use(ConnectionTable& table, uint32_t id, int64_t now_ns) {
    const ClientSocket* socket = live_socket(table, id);
    return socket && now_ns - socket->last_message_ns < SEAT_IN_USE_NS;
}

namespace {
// Part of a frame may be in the stream already after a failure; anything written after it would
// be read as the rest of that frame, so the connection takes nothing more.
bool sent_or_broken(ConnectionTable& table, ClientSocket& socket, ProtocolError error, size_t frame_bytes) {
    if (error == ProtocolError::None) {
        // What the transport was handed: a WebSocket carries the body alone.
        const bool web = socket.transport.web != nullptr;
        table.counts.sent_bytes[web ? 1 : 0] += web ? frame_bytes - 4 : frame_bytes; // 4: the length header
        return true;
    }
    mark_broken(socket, DropReason::SendFailed, error);
    return false;
}
} // namespace

bool send_to(ConnectionTable& table, uint32_t id, const ServerMessage& message) {
    ClientSocket* socket = live_socket(table, id);
    if (!socket) return false;
    std::string frame;
    const ProtocolError error = encode_frame(message, frame);
    if (error != ProtocolError::None) return sent_or_broken(table, *socket, error, 0);
    return sent_or_broken(table, *socket, transport_send_frame(socket->transport, frame), frame.size());
}

bool send_frame_to(ConnectionTable& table, uint32_t id, std::string_view frame) {
    ClientSocket* socket = live_socket(table, id);
    return socket && sent_or_broken(table, *socket, transport_send_frame(socket->transport, frame), frame.size());
}

void count_received(ConnectionTable& table, const Transport& transport, size_t bytes) {
    table.counts.received_bytes[transport.web ? 1 : 0] += bytes;
}

void mark_broken(ClientSocket& socket, DropReason reason, ProtocolError error) {
    if (socket.broken != DropReason::None) return;
    socket.broken = reason;
    socket.error = error;
}

ClientRead read_client_message(ClientSocket& socket, int64_t now_ns, size_t& byte_budget,
                               std::pmr::memory_resource* strings, std::string* body_copy) {
    Received received = transport_receive(socket.transport, socket.reader, strings, byte_budget,
                                          MAX_READ_BYTES_PER_CLIENT_FRAME, body_copy);
    byte_budget -= received.bytes_read;
    ClientRead read{received.error, received.message};
    switch (received.error) {
    case ProtocolError::None:
        socket.frame_started_ns = 0;
        socket.last_message_ns = now_ns;
        break;
    case ProtocolError::Would_Block:
        if (frame_stalled(socket, now_ns)) mark_broken(socket, DropReason::Stalled);
        break;
    case ProtocolError::ConnectionClosed: mark_broken(socket, DropReason::Closed); break;
    case ProtocolError::JsonDecodeFailed: // one whole frame consumed: still aligned
        socket.frame_started_ns = 0;
        socket.last_message_ns = now_ns;
        break;
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
    transport_close(it->second.transport);
    table.sockets.erase(it);
}

void close_all(ConnectionTable& table) {
    close_socket(table.listener);
    table.listener = -1;
    for (PendingLogin& login : table.pending_logins) transport_close(login.transport);
    table.pending_logins.clear();
    for (auto& entry : table.sockets) transport_close(entry.second.transport);
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

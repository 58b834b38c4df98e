// Players over connections: the LOGIN handshake, reconnection, disconnection and the sends.
#include "server/main/sessions.h"

#include "server/main/host_state.h"
#include "server/network/socket_util.h"
#include "shared/log/log.h"
#include "shared/log/printable.h"
#include "shared/platform/own_machine.h"

#include <utility>

namespace cog {

namespace {

ServerMessage event_message(EventKind kind) {
    ServerMessage message;
    message.kind = ServerMessageKind::EVENT;
    message.event.kind = kind;
    return message;
}

// The only message that carries the seat's secret, and only to the client taking the seat. A
// client whose LOGIN had no secret field knows nothing of secrets: it gets the INIT it was written
// for, byte for byte.
void send_init(HostState& host, uint32_t id, PresentedSecret presented) {
    ServerMessage init = event_message(EventKind::INIT);
    init.event.client_id = id;
    init.event.world_width = 1280;
    init.event.world_height = 720;
    if (presented != PresentedSecret::Absent) init.event.reconnect_secret = seat_secret(host.seat_claims, id);
    send_to_player(host, id, init);
}

// Returns the id of the returning player, or 0 when this login is not a reconnection.
// Byte-for-byte name match. The id and name are in every PLAYER_JOINED, so anyone could present
// them: a seat whose holder keeps its secret goes back only to that secret, and no seat whose
// connection is still talking is handed over. A seat gone quiet, or already dropped, is returned,
// so a player whose connection died unnoticed still gets back in.
uint32_t find_returning_player(HostState& host, uint32_t previous_id, const std::string& name,
                               PresentedSecret presented, int64_t now_ns) {
    if (previous_id == 0) return 0;
    const PlayerConnection* record = find_player(host.global, previous_id);
    if (!record || record->is_bot || record->name != name) return 0;
    if (!seat_open_to(host.seat_claims, previous_id, presented)) {
        LOG_WARN("[NETWORK] Player %u's seat goes back only with its reconnection secret; this login gets a new seat",
                 previous_id);
        return 0;
    }
    if (record->connected && seat_in_use(host.connections, previous_id, now_ns)) {
        LOG_WARN("[NETWORK] Player %u is still active; a new login with that id and name gets a new seat", previous_id);
        return 0;
    }
    return previous_id;
}

// Seated humans connected from `address`, the seat `except` aside (a reconnection replaces it).
size_t seated_from(HostState& host, const std::string& address, uint32_t except) {
    size_t seated = 0;
    for (const auto& [id, socket] : host.connections.sockets)
        seated += id != except && socket.address == address && is_connected_human(host, id) ? 1 : 0;
    return seated;
}

// Why a login is refused for its address, if it is.
enum class AddressRefusal : uint8_t { None, TooManySeated, NewSeatsTooFast };

// A login that would seat one human too many from its address, or take a new seat faster than
// its address may. A connection without an address (a replay's feed) and the machine's own are
// never limited. A player coming back to its own seat is never refused.
AddressRefusal address_refusal(HostState& host, const std::string& address, uint32_t returning_id, int64_t now_ns,
                               size_t& seated) {
    SeatClaims& claims = host.seat_claims;
    if (claims.max_per_address == 0 || address.empty() || is_own_machine(address)) return AddressRefusal::None;
    seated = seated_from(host, address, returning_id);
    if (seated >= claims.max_per_address) return AddressRefusal::TooManySeated;
    if (returning_id == 0 && !take_new_seat(claims.new_seats, address, now_ns)) return AddressRefusal::NewSeatsTooFast;
    return AddressRefusal::None;
}

// Closes the refused login. A script retrying as fast as it can gets one log line a second, with
// a count of the refusals in between.
bool refused_for_address(HostState& host, const ArrivedLogin& login, const std::string& shown, uint32_t returning_id,
                         int64_t now_ns) {
    size_t seated = 0;
    const AddressRefusal refusal = address_refusal(host, login.address, returning_id, now_ns, seated);
    if (refusal == AddressRefusal::None) return false;
    ++host.metrics.logins_refused[metrics::index(refusal == AddressRefusal::TooManySeated ? metrics::LoginRefusal::AddressSeats
                                                                                          : metrics::LoginRefusal::AddressRate)];
    transport_close(login.transport);
    SeatClaims& claims = host.seat_claims;
    if (claims.refusal_logged_ns && now_ns - *claims.refusal_logged_ns < REFUSAL_LOG_INTERVAL_NS) {
        ++claims.refusals_unlogged;
        return true;
    }
    if (refusal == AddressRefusal::TooManySeated)
        LOG_WARN("[NETWORK] Login of '%s' from %s refused: %zu players are already seated from that address "
                 "(--max-players-per-address %u); %zu more refused since the last such line",
                 shown.c_str(), login.address.c_str(), seated, claims.max_per_address, claims.refusals_unlogged);
    else
        LOG_WARN("[NETWORK] Login of '%s' from %s refused: that address takes new seats too fast (%d at once, then %d "
                 "a second); %zu more refused since the last such line",
                 shown.c_str(), login.address.c_str(), NEW_SEATS_BURST, NEW_SEATS_PER_SECOND, claims.refusals_unlogged);
    claims.refusals_unlogged = 0;
    claims.refusal_logged_ns = now_ns;
    return true;
}

// Rights belong to whoever proved to be the seat's holder; id and name prove nothing.
void withdraw_rights_without_secret(PlayerConnection& record, PresentedSecret presented) {
    if (presented == PresentedSecret::Matching || !record.is_admin) return;
    record.is_admin = false;
    LOG_WARN("[NETWORK] Player %u came back without its reconnection secret: its admin rights are withdrawn", record.id);
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
    open_seat(host.seat_claims, id);
    LOG_INFO("[NETWORK] Created PlayerConnection: id=%u, name='%s', name_ptr=%p", id, printable(stored.name).c_str(),
             static_cast<const void*>(stored.name.data()));
    return id;
}

// The handshake once the first message has arrived.
void finish_login(HostState& host, const ArrivedLogin& login, int64_t now_ns) {
    const std::string name = login_name(login.player_name);
    const std::string shown = printable(name);
    LOG_INFO("[NETWORK] Received LOGIN message with player_name='%s', previous_player_id=%u", shown.c_str(),
             login.previous_player_id);
    const PresentedSecret presented = compare_secret(host.seat_claims, login.previous_player_id, login.reconnect_secret);
    uint32_t id = find_returning_player(host, login.previous_player_id, name, presented, now_ns);
    if (refused_for_address(host, login, shown, id, now_ns)) return;
    const bool returning = id != 0;
    if (returning) {
        LOG_INFO("[NETWORK] Reconnection detected: reusing player_id=%u for '%s'", id, shown.c_str());
        PlayerConnection& record = host.global.players[id];
        record.connected = true;
        withdraw_rights_without_secret(record, presented);
        note_return(host, id);
        LOG_INFO("[NETWORK] Reusing existing PlayerConnection: id=%u, name='%s'", id, shown.c_str());
    } else {
        id = create_player(host, name);
    }
    ++host.metrics.logins_accepted;
    note_holder(host.seat_claims, id, presented);
    // Closes the socket the seat had, if it was still open.
    attach_socket(host.connections, id, login.transport, now_ns, login.address);
    if (host.observer) host.observer->login(login.player_name, login.previous_player_id, presented, id);
    if (returning) LOG_INFO("Player %u (%s) reconnected", id, shown.c_str());
    else LOG_INFO("Player %u (%s) joined", id, shown.c_str());
    if (Screen* top = host.screen_stack.top()) top->data->on_player_enter(id);
    send_init(host, id, presented);
    // A failed INIT leaves the player to be dropped at the frame's drop point; nobody is told
    // of a join that is about to be undone.
    if (!is_connected_human(host, id)) return;
    ServerMessage joined = event_message(EventKind::PLAYER_JOINED);
    joined.event.player_id = id;
    joined.event.player_name = name;
    broadcast_message(host, joined, id);
}

// Only what a client did (or failed to take) is counted; a drop without a cause is none.
void count_drop(metrics::RoomMetrics& counts, const ClientSocket& socket) {
    using metrics::DropCause;
    DropCause cause = DropCause::Closed;
    switch (socket.broken) {
    case DropReason::None: return;
    case DropReason::Closed: cause = DropCause::Closed; break;
    case DropReason::Stalled: cause = DropCause::Stalled; break;
    case DropReason::Unframeable:
        cause = socket.error == ProtocolError::MessageTooLarge ? DropCause::Oversize : DropCause::Unframeable;
        break;
    case DropReason::SendFailed: cause = DropCause::SendFailed; break;
    case DropReason::WrongAdminTokens: cause = DropCause::WrongAdminTokens; break;
    }
    ++counts.drops[metrics::index(cause)];
}

} // namespace

void accept_new_connections(HostState& host) {
    const int64_t now = host.clock.monotonic_ns();
    ConnectionTable& table = host.connections;
    // A crowd connecting at once fills the waiting list while most of it has already sent its
    // LOGIN: taking those logins frees places for the rest. Connections are refused only when a
    // round frees nothing (or after a bounded number of rounds, so a frame stays short).
    for (int round = 0;; ++round) {
        const bool more = accept_connections(table, now, false);
        for (const ArrivedLogin& login : take_arrived_logins(table, now, host.message_arena))
            finish_login(host, login, now);
        if (!more) break;
        if (table.pending_logins.size() >= MAX_PENDING_LOGINS || round == MAX_ACCEPT_ROUNDS) {
            accept_connections(table, now, true);
            break;
        }
    }
}

ClientSocket* human_socket(HostState& host, const PlayerConnection& player) {
    if (!player.connected || player.is_bot) return nullptr;
    return live_socket(host.connections, player.id);
}

void send_to_player(HostState& host, uint32_t id, const ServerMessage& message) {
    if (is_connected_human(host, id)) send_to(host.connections, id, message);
}

bool is_connected_human(HostState& host, uint32_t id) {
    const PlayerConnection* record = find_player(host.global, id);
    return record && human_socket(host, *record);
}

void disconnect_player(HostState& host, uint32_t id) {
    PlayerConnection* record = find_player(host.global, id);
    if (!record || !record->connected) return;
    record->connected = false;
    std::string address = connection_address(host.connections, id);
    close_connection(host.connections, id);
    note_departure(host, id, host.clock.monotonic_ns(), std::move(address));
    LOG_INFO("Player %u disconnected", id);
    if (Screen* top = host.screen_stack.top()) top->data->on_player_leave(id);
    ServerMessage left = event_message(EventKind::PLAYER_LEFT);
    left.event.player_id = id;
    broadcast_message(host, left, id);
}

void broadcast_message(HostState& host, const ServerMessage& message, uint32_t except_id) {
    for (const auto& [id, socket] : host.connections.sockets) {
        if (id != except_id && is_connected_human(host, id)) send_to(host.connections, id, message);
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
    ServerMessage chat = event_message(EventKind::CHAT_MESSAGE);
    chat.event.message = text;
    chat.event.sender_id = 0;
    send_to_player(host, id, chat);
}

void drop_broken_connections(HostState& host) {
    for (uint32_t id = first_broken(host.connections); id != 0; id = first_broken(host.connections)) {
        log_drop(id, host.connections.sockets.at(id));
        count_drop(host.metrics, host.connections.sockets.at(id));
        if (host.observer) host.observer->dropped(id, host.connections.sockets.at(id).broken);
        disconnect_player(host, id);
        // A socket with no connected record behind it (a bot took the id) is closed all the same.
        close_connection(host.connections, id);
    }
}

} // namespace cog

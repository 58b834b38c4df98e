// The host's sockets: the listener, connections waiting for their LOGIN, the live socket of each
// logged-in human, and the limits that keep one client from costing the others anything.
//
// Nothing here knows about players or screens. A connection that fails in any way is only marked
// broken, with a reason; nothing more is written to it, and the host drops every broken
// connection at one fixed point of the frame.
#pragma once

#include "server/network/connection_counts.h"
#include "server/network/transport.h"
#include "server/web/proxy_gate.h"
#include "shared/log/line_allowance.h"
#include "shared/protocol/framing.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory_resource>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cog {

// A client that takes longer than this to finish its LOGIN, or one frame it has started, is
// dropped, so one silent or dribbling client never holds up everybody else.
inline constexpr int64_t STALLED_CLIENT_NS = 5'000'000'000;
// Connections waiting for their LOGIN. When all places are taken, the one that has waited
// longest without sending a byte gives way to a newcomer, or else the one that has waited
// longest past LOGIN_GRACE_NS, so silent or dribbling sockets cannot lock everybody out; only
// when every place is younger than that and has started its LOGIN is a newcomer refused.
inline constexpr size_t MAX_PENDING_LOGINS = 64;
inline constexpr int64_t LOGIN_GRACE_NS = 1'000'000'000;
// Connections from one address waiting for their LOGIN, by default, those arrived in this frame
// included; a newcomer beyond it is refused, so one address cannot take the places of the others.
// An honest LOGIN follows its connection within milliseconds, so a household joining at once
// leaves the list as fast as it enters it; one beyond it comes back when its client reconnects.
inline constexpr size_t DEFAULT_PENDING_LOGINS_PER_ADDRESS = 8;
// Refusals are logged at most this often, with a count, so a flood cannot flood the log too.
inline constexpr int64_t REFUSAL_LOG_INTERVAL_NS = 1'000'000'000;
// A seat whose connection delivered a message this recently is in use: a LOGIN presenting its
// id and name is a newcomer, not the player coming back.
inline constexpr int64_t SEAT_IN_USE_NS = 2'000'000'000;
// Bytes held in unfinished frames across all connections beyond the first
// FRAME_GROWTH_FREE_BYTES of each frame. A frame that would pass it waits (and is dropped as
// stalled if it never completes), so many half-sent 1 MiB frames cannot exhaust memory while
// ordinary messages always get through.
inline constexpr size_t MAX_UNFINISHED_FRAME_BYTES = 32u << 20;
// Rounds of accepting and taking logins in one frame before the rest is refused.
inline constexpr int MAX_ACCEPT_ROUNDS = 16;
// Messages taken from one client in one frame; the rest wait for the next frame.
inline constexpr int MAX_MESSAGES_PER_CLIENT_FRAME = 256;
// Bytes read from one client in one frame; the rest waits in the socket. Bounds the time and
// memory one flooding client can cost a frame whatever the size of its messages.
inline constexpr size_t MAX_READ_BYTES_PER_CLIENT_FRAME = 256 * 1024;

// Why a connection is dropped; each has its own log line.
enum class DropReason : int64_t {
    None = 0,
    Closed,         // the client closed the connection
    Stalled,        // one frame left unfinished past the stall limit
    Unframeable,    // a receive error left the stream misaligned
    SendFailed,     // a send failed, possibly after writing part of a frame
    WrongAdminTokens, // offered the admin token wrongly too many times
};

// The live socket of a logged-in human.
struct ClientSocket {
    Transport transport;
    FrameReader reader;
    int64_t frame_started_ns = 0; // monotonic time the unfinished frame was first seen; 0: none
    int64_t last_message_ns = 0;  // monotonic time of the last whole message (the LOGIN at first)
    DropReason broken = DropReason::None;
    ProtocolError error = ProtocolError::None; // the failure behind `broken`, for the log
    int wrong_admin_tokens = 0; // counted per connection: a new one starts again
    std::string address;        // the peer's address, without its port
    LineAllowance console_lines; // the console lines its messages may still cause
};

// An accepted socket whose LOGIN has not arrived yet.
struct PendingLogin {
    Transport transport;
    FrameReader reader;
    int64_t accepted_ns = 0; // monotonic time of the accept
    std::string address;     // the peer's address, without its port
    // Bytes this connection may still read in the frame stamped `budget_frame_ns`: the budget is
    // per frame, however many accept rounds the frame runs.
    size_t budget_left = 0;
    int64_t budget_frame_ns = -1;
};

struct ConnectionTable {
    int listener = -1;
    // Shared by every reader below; declared first so that it outlives them.
    FramePool frame_pool{MAX_UNFINISHED_FRAME_BYTES};
    size_t refusals_unlogged = 0;      // refused connections not yet counted in a log line
    int64_t refusal_logged_ns = -REFUSAL_LOG_INTERVAL_NS; // monotonic time of the last refusal line
    std::map<uint32_t, ClientSocket> sockets; // player id -> socket
    std::vector<PendingLogin> pending_logins;
    size_t pending_logins_per_address = DEFAULT_PENDING_LOGINS_PER_ADDRESS; // 0: no limit
    // With trusted front doors: new sockets until their first bytes show whether they may come
    // in, and as whom. Without them (the default) it is never used.
    web::ProxyGate proxy_gate;
    ConnectionCounts counts;
};

// Takes connections waiting on the listener into the pending logins. When the pending logins
// are full, `make_room` lets the longest-silent one give way to each newcomer (and refuses a
// newcomer when none is silent); otherwise newcomers stay in the listener's backlog and the
// call returns true, so the caller can first take the logins that have arrived.
bool accept_connections(ConnectionTable& table, int64_t now_ns, bool make_room);

// Takes browsers whose WebSocket has just opened into the pending logins, like accepted sockets.
void admit_web_connections(ConnectionTable& table, std::vector<std::shared_ptr<web::WebChannel>> opened,
                           int64_t now_ns);

// A connection whose first message was a LOGIN; the socket now belongs to the receiver.
struct ArrivedLogin {
    Transport transport;
    std::string player_name; // owned copy
    uint32_t previous_player_id = 0;
    std::optional<std::string> reconnect_secret; // owned copy; absent from clients that know nothing of it
    std::string address; // the peer's address without its port; "" when none (a replay's feed)
};

// Reads the pending logins without waiting, each within the per-client byte budget. Returns the
// LOGINs that have arrived; refuses a connection that sent anything else, broke, or stayed
// silent past the stall limit. `scratch` holds one message at a time and is released after each.
std::vector<ArrivedLogin> take_arrived_logins(ConnectionTable& table, int64_t now_ns,
                                              std::pmr::monotonic_buffer_resource& scratch);

// The socket of `id` while it is present and not broken, else nullptr.
ClientSocket* live_socket(ConnectionTable& table, uint32_t id);

// Installs `transport` as the connection of `id`, closing a previous one (a reconnection). The LOGIN that
// brought it counts as its first message. `address`: the one its LOGIN came from (the player's,
// behind a front door); empty: the transport's peer.
void attach_socket(ConnectionTable& table, uint32_t id, const Transport& transport, int64_t now_ns,
                   std::string_view address = {});

// The address (without port) the connection of `id` comes from; empty when it has none.
std::string connection_address(const ConnectionTable& table, uint32_t id);

// The socket of `id` is live and delivered a message within SEAT_IN_USE_NS.
bool seat_in_use(ConnectionTable& table, uint32_t id, int64_t now_ns);

// Sends one message to `id` if its socket is live; a failure marks it broken. True when sent.
bool send_to(ConnectionTable& table, uint32_t id, const ServerMessage& message);

// Sends one encoded frame to `id` if its socket is live; a failure marks it broken.
bool send_frame_to(ConnectionTable& table, uint32_t id, std::string_view frame);

// Marks a connection broken (the first reason is kept).
void mark_broken(ClientSocket& socket, DropReason reason, ProtocolError error = ProtocolError::None);

// The next message of `id`, read within this frame's byte budget. None: `message` holds it.
// Would_Block: nothing more this frame. Anything else: the connection is now marked broken,
// except JsonDecodeFailed, which consumed exactly one bad frame and leaves the stream usable.
struct ClientRead {
    ProtocolError error = ProtocolError::None;
    ClientMessage message;
};
// Counts `bytes` read from `transport` in the table's traffic.
void count_received(ConnectionTable& table, const Transport& transport, size_t bytes);

ClientRead read_client_message(ClientSocket& socket, int64_t now_ns, size_t& byte_budget,
                               std::pmr::memory_resource* strings, std::string* body_copy = nullptr);

// The id of some broken connection, or 0 when there is none.
uint32_t first_broken(const ConnectionTable& table);

// Closes and forgets the socket of `id`, if any.
void close_connection(ConnectionTable& table, uint32_t id);

// Shutdown: closes the listener, the pending logins and every socket.
void close_all(ConnectionTable& table);

// The log line that names a drop.
void log_drop(uint32_t id, const ClientSocket& socket);

} // namespace cog

// Player sessions: accepting sockets, the LOGIN handshake, reconnection, dropping a player, and
// the two ways the host sends events (to everybody, to one player).
#pragma once

#include "shared/protocol/messages.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace cog {

struct HostState;

// Accept phase: takes every pending connection and advances every login that is waiting.
void accept_new_connections(HostState& host);

// Drops a player: socket closed, screen told, others told. Safe for any id, and idempotent.
void disconnect_player(HostState& host, uint32_t id);

// The one place where failed connections leave: every connection marked broken during the
// frame (closed, stalled, unframeable, a failed send) is logged with its reason and dropped.
// Dropping one may break another (its PLAYER_LEFT send fails), so this runs until none is left.
void drop_broken_connections(HostState& host);

// Sends to every connected human except `except_id` (0 excludes nobody). A failed send marks
// that connection broken; it is dropped by drop_broken_connections.
void broadcast_message(HostState& host, const ServerMessage& message, uint32_t except_id);
void broadcast_stop_music(HostState& host);
void broadcast_sound(HostState& host, uint16_t sound_id, float volume);

// A CHAT_MESSAGE from the host (sender 0) to one connected human; bots and absent players get nothing.
void send_system_message(HostState& host, std::string_view text, uint32_t id);

struct ClientSocket;
struct PlayerConnection;

// The live socket of a connected human (record connected, not a bot, socket present and not
// broken), else nullptr. Every send and read goes through this one test.
ClientSocket* human_socket(HostState& host, const PlayerConnection& player);
bool is_connected_human(HostState& host, uint32_t id);

// Sends one message to a connected human; a failure marks the connection broken.
void send_to_player(HostState& host, uint32_t id, const ServerMessage& message);

// The login name as stored: cut to the byte limit at a UTF-8 character boundary, "Player" when empty.
std::string login_name(std::string_view player_name);

} // namespace cog

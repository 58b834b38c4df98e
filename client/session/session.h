// What the client knows of its seat at the host, and the handling of the host's events.
#pragma once

#include "client/picture/viewport.h"
#include "client/session/overlay.h"
#include "client/sound/sound_output.h"
#include "shared/protocol/messages.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace cog::client {

inline constexpr int32_t MAX_WORLD_SIDE = 16384; // world units; a larger announced world is ignored

struct Session {
    uint32_t client_id = 0;    // from the last INIT; sent back to get the seat again
    std::string reconnect_secret; // from the same INIT, kept in memory only; proves the seat is ours
    bool logged_in = false;    // an INIT arrived on the current connection
    bool ever_logged_in = false;
    WorldSize world;           // as the last INIT announced it
    double last_heard_s = 0;   // client clock: the last message, or the moment of connecting
};

// An INIT without an id (0) or of an unknown kind changes nothing.
void handle_event(Session& session, Overlay& overlay, SoundOutput& sound, const Event& event, double now_s);

// `secret` is the seat's reconnection secret, or "" before the host has given one: either way
// the host learns that this client keeps it, so nobody else takes the seat with id and name.
ClientMessage login_message(std::string_view name, uint32_t previous_player_id, std::string_view secret);
ClientMessage input_message(const InputState& input);
ClientMessage command_message(std::string_view line);

} // namespace cog::client

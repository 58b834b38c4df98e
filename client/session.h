// What the client knows of its seat at the host, and the handling of every host message.
#pragma once

#include "client/connection.h"
#include "client/overlay.h"
#include "client/sound_output.h"
#include "shared/protocol/messages.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace cog::client {

struct Session {
    uint32_t client_id = 0;              // from the last INIT; sent back to get the seat again
    bool logged_in = false;              // an INIT arrived on the current connection
    bool ever_logged_in = false;
    std::optional<HostMessage> picture;  // the latest DRAW_COMMANDS
};

void handle_host_message(Session& session, Overlay& overlay, SoundOutput& sound, HostMessage&& message,
                         double now_s);

ClientMessage login_message(std::string_view name, uint32_t previous_player_id);
ClientMessage input_message(const InputState& input);
ClientMessage command_message(std::string_view line);

} // namespace cog::client

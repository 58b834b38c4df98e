// Host events: INIT sets the seat and the world, the rest are sounds and notes.
#include "client/session/session.h"

#include <string>

namespace cog::client {

namespace {

void take_init(Session& session, Overlay& overlay, const Event& event) {
    if (event.client_id == 0) return; // no seat can be asked back with 0
    session.client_id = event.client_id;
    session.reconnect_secret.assign(event.reconnect_secret.value_or(""));
    session.logged_in = true;
    session.ever_logged_in = true;
    const bool sane = event.world_width > 0 && event.world_width <= MAX_WORLD_SIDE && event.world_height > 0 &&
                      event.world_height <= MAX_WORLD_SIDE;
    if (sane) session.world = {static_cast<float>(event.world_width), static_cast<float>(event.world_height)};
    overlay.status.clear();
}

} // namespace

void handle_event(Session& session, Overlay& overlay, SoundOutput& sound, const Event& event, double now_s) {
    switch (event.kind) {
    case EventKind::INIT: take_init(session, overlay, event); break;
    case EventKind::PLAYER_JOINED: add_chat_line(overlay, std::string(event.player_name) + " joined", now_s); break;
    case EventKind::PLAYER_LEFT:
        add_chat_line(overlay, "Player " + std::to_string(event.player_id) + " left", now_s);
        break;
    case EventKind::CHAT_MESSAGE: add_chat_line(overlay, event.message, now_s); break;
    case EventKind::PLAY_SOUND: sound.play(event.sound_id, event.volume); break;
    case EventKind::STOP_MUSIC: sound.stop_music(); break;
    }
}

ClientMessage login_message(std::string_view name, uint32_t previous_player_id, std::string_view secret) {
    ClientMessage m;
    m.kind = ClientMessageKind::LOGIN;
    m.player_name = name;
    m.previous_player_id = previous_player_id;
    m.reconnect_secret = secret;
    return m;
}

ClientMessage input_message(const InputState& input) {
    ClientMessage m;
    m.kind = ClientMessageKind::INPUT;
    m.input = input;
    return m;
}

ClientMessage command_message(std::string_view line) {
    ClientMessage m;
    m.kind = ClientMessageKind::SETTINGS_COMMAND;
    m.settings_command = line;
    return m;
}

} // namespace cog::client

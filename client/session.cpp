// Host messages: INIT sets the seat, DRAW_COMMANDS replaces the picture, the rest are sounds and notes.
#include "client/session.h"

#include <string>

namespace cog::client {

namespace {

void handle_event(Session& session, Overlay& overlay, SoundOutput& sound, const Event& event, double now_s) {
    switch (event.kind) {
    case EventKind::INIT:
        session.client_id = event.client_id;
        session.logged_in = true;
        session.ever_logged_in = true;
        overlay.status.clear();
        break;
    case EventKind::PLAYER_JOINED:
        add_chat_line(overlay, std::string(event.player_name) + " joined", now_s);
        break;
    case EventKind::PLAYER_LEFT:
        add_chat_line(overlay, "Player " + std::to_string(event.player_id) + " left", now_s);
        break;
    case EventKind::CHAT_MESSAGE: add_chat_line(overlay, std::string(event.message), now_s); break;
    case EventKind::PLAY_SOUND: sound.play(event.sound_id, event.volume); break;
    case EventKind::STOP_MUSIC: sound.stop_music(); break;
    }
}

} // namespace

void handle_host_message(Session& session, Overlay& overlay, SoundOutput& sound, HostMessage&& message,
                         double now_s) {
    if (message.message.kind == ServerMessageKind::DRAW_COMMANDS) {
        session.picture = std::move(message);
    } else {
        handle_event(session, overlay, sound, message.message.event, now_s);
    }
}

ClientMessage login_message(std::string_view name, uint32_t previous_player_id) {
    ClientMessage m;
    m.kind = ClientMessageKind::LOGIN;
    m.player_name = name;
    m.previous_player_id = previous_player_id;
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

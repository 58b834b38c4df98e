// The wire records exchanged between host and clients, in their exact field order.
//
// Strings are views: the bytes of a message being sent belong to its builder (usually the
// frame arena), and a decoded message's bytes live in the memory resource handed to the reader.
#pragma once

#include <array>
#include <cstdint>
#include <memory_resource>
#include <optional>
#include <string_view>
#include <vector>

namespace cog {

using Color = std::array<uint8_t, 4>; // red, green, blue, alpha

// PICTURE_REQUEST: the client has lost track of its picture and asks for the next one whole.
enum class ClientMessageKind : int64_t { LOGIN = 0, INPUT = 1, CHAT = 2, SETTINGS_COMMAND = 3, PICTURE_REQUEST = 4 };
// PICTURE_CHANGE travels only to WebSocket clients that asked for it (see PictureChange).
enum class ServerMessageKind : int64_t { EVENT = 0, DRAW_COMMANDS = 1, PICTURE_CHANGE = 2 };
enum class EventKind : int64_t { INIT = 0, PLAYER_JOINED = 1, PLAYER_LEFT = 2, CHAT_MESSAGE = 3, PLAY_SOUND = 4, STOP_MUSIC = 5 };
enum class DrawCommandKind : int64_t { RECT = 0, TEXT = 1, CIRCLE = 2, LINE = 3, SPRITE = 4, SPRITE_PRO = 5 };

inline constexpr int LETTER_KEY_COUNT = 26; // keys[i] is the letter 'A' + i

struct InputKey {
    bool is_down = false;       // held
    bool just_pressed = false;  // went down since the previous snapshot
    bool just_released = false; // went up since the previous snapshot
};

struct InputState {
    bool up = false, down = false, left = false, right = false;
    float mouse_x = 0, mouse_y = 0; // world units (1280 x 720)
    bool mouse_left = false, mouse_right = false, mouse_middle = false;
    bool space = false, enter = false, shift = false, ctrl = false, escape = false;
    InputKey backspace;
    std::array<InputKey, LETTER_KEY_COUNT> keys{};
};

struct ClientMessage {
    ClientMessageKind kind = ClientMessageKind::LOGIN;
    std::string_view player_name;
    uint32_t previous_player_id = 0;
    InputState input;
    std::string_view message;
    std::string_view settings_command;
    // LOGIN: the `reconnect_secret` of the last INIT, or "" from a client that keeps secrets but
    // has none yet; absent from clients that know nothing of it (and written only when present).
    std::optional<std::string_view> reconnect_secret;
};

struct Event {
    EventKind kind = EventKind::INIT;
    uint32_t client_id = 0;
    int32_t world_width = 0;
    int32_t world_height = 0;
    uint32_t player_id = 0;
    std::string_view player_name;
    std::string_view message;
    uint32_t sender_id = 0;
    uint16_t sound_id = 0;
    float volume = 0;
    // INIT: the seat's reconnection secret, for the receiving client alone; absent elsewhere.
    std::optional<std::string_view> reconnect_secret;
};

struct DrawCommand {
    DrawCommandKind kind = DrawCommandKind::RECT;
    float x = 0, y = 0;
    float width = 0, height = 0;
    Color color{};
    std::string_view text;
    int32_t font_size = 0;
    float x2 = 0, y2 = 0;
    uint16_t asset_id = 0;
    float rotation = 0;
    float scale_x = 0, scale_y = 0;
    bool flip_x = false, flip_y = false;
};

// One viewer's picture for one frame; its allocator is normally the frame arena, which also
// holds the bytes of the texts the commands point at.
using DrawList = std::pmr::vector<DrawCommand>;

struct ServerMessage {
    ServerMessageKind kind = ServerMessageKind::EVENT;
    Event event;
    DrawList commands;
};

// Runs of the previous picture kept in a new one: flat triples (at, from, count), meaning that
// commands at..at+count-1 of the new picture are commands from..from+count-1 of the previous.
using KeptRuns = std::pmr::vector<uint32_t>;

// Some members of a command, given to change the command at a place of the new picture: the
// members in the text are set, the others keep the values of the command there. Bit I of
// `present` says member I (in the command's field order) was in the text.
struct DrawEdit {
    DrawCommand values;
    uint32_t present = 0;
};
using DrawEdits = std::pmr::vector<DrawEdit>;
// Places of the new picture, in increasing order.
using PicturePlaces = std::pmr::vector<uint32_t>;

// A picture sent as its difference from the one before it on the same connection: the runs
// kept from the previous picture (in increasing order of `at`, never overlapping), and the
// other commands of the new picture, which fill the places no run covers, in order. Then
// edits[i] changes some members of the command at place edit_at[i] (a moved sprite, say: all
// of it kept but its position).
struct PictureChange {
    ServerMessageKind kind = ServerMessageKind::PICTURE_CHANGE;
    uint32_t base = 0; // how many commands the previous picture has
    KeptRuns keep;
    DrawList commands;
    PicturePlaces edit_at;
    DrawEdits edits;
};

} // namespace cog

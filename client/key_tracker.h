// Held keys and the edges since the last INPUT snapshot, built from key-down and key-up events.
#pragma once

#include "client/viewport.h"
#include "shared/protocol/messages.h"

#include <array>
#include <cstddef>

namespace cog::client {

// Every key and button the host reads. Keys 0..25 are the letters 'A'..'Z'.
enum GameKey : size_t {
    KEY_BACKSPACE = LETTER_KEY_COUNT,
    KEY_UP,
    KEY_DOWN,
    KEY_LEFT,
    KEY_RIGHT,
    KEY_SPACE,
    KEY_ENTER,
    KEY_SHIFT,
    KEY_CTRL,
    KEY_ESCAPE,
    MOUSE_LEFT,
    MOUSE_RIGHT,
    MOUSE_MIDDLE,
    GAME_KEY_COUNT,
};

struct KeyTracker {
    std::array<bool, GAME_KEY_COUNT> held{};
    std::array<bool, GAME_KEY_COUNT> went_down{}; // since the last snapshot
    std::array<bool, GAME_KEY_COUNT> went_up{};   // since the last snapshot
};

// Auto-repeat presses of a held key are not edges.
void key_down(KeyTracker& keys, GameKey key);
void key_up(KeyTracker& keys, GameKey key);
// Everything held goes up, e.g. when the window loses focus or the command line takes the keys.
void release_all(KeyTracker& keys);

// The snapshot for one INPUT message; clears the edges. A key pressed and released within one
// client frame is reported down for that snapshot so that a quick tap is never lost.
InputState take_snapshot(KeyTracker& keys, Point mouse_world);

} // namespace cog::client

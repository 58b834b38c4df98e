// Held keys and the edges since the last INPUT snapshot, built from key-down and key-up events.
#pragma once

#include "client/viewport.h"
#include "shared/protocol/messages.h"

#include <array>
#include <cstddef>
#include <deque>

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

struct KeyChange {
    GameKey key;
    bool down;
};

struct KeyTracker {
    std::array<bool, GAME_KEY_COUNT> held{};      // as of the last snapshot
    std::array<bool, GAME_KEY_COUNT> latest{};    // after every change seen so far
    std::deque<KeyChange> pending;                // changes not yet in a snapshot, oldest first
};

// Auto-repeat presses of a held key are not changes.
void key_down(KeyTracker& keys, GameKey key);
void key_up(KeyTracker& keys, GameKey key);
// Everything held goes up, e.g. when the window loses focus or the command line takes the keys.
void release_all(KeyTracker& keys);

// The snapshot for one INPUT message. A key pressed and released within one client frame is
// reported down for that snapshot so that a quick tap is never lost. The host reads the letters
// of one snapshot in alphabetical order, so at most one typed key (a letter or backspace) goes
// down per snapshot; a second one waits for the next, keeping the typed order.
InputState take_snapshot(KeyTracker& keys, Point mouse_world);

} // namespace cog::client

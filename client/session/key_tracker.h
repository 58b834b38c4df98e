// Held keys and the edges since the last INPUT snapshot, built from key-down and key-up events.
#pragma once

#include "client/picture/viewport.h"
#include "shared/protocol/messages.h"

#include <array>
#include <cstddef>
#include <vector>

namespace cog::client {

// Every key and button the host reads. Keys 0..25 are the letters 'A'..'Z'. The left and right
// Shift and Ctrl keys are tracked apart: releasing one while the other is held keeps the level.
enum GameKey : size_t {
    KEY_BACKSPACE = LETTER_KEY_COUNT,
    KEY_UP,
    KEY_DOWN,
    KEY_LEFT,
    KEY_RIGHT,
    KEY_SPACE,
    KEY_ENTER,
    KEY_LEFT_SHIFT,
    KEY_RIGHT_SHIFT,
    KEY_LEFT_CTRL,
    KEY_RIGHT_CTRL,
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
    std::vector<KeyChange> pending;               // changes not yet in a snapshot, oldest first
};

// Auto-repeat presses of a held key are not changes.
void key_down(KeyTracker& keys, GameKey key);
void key_up(KeyTracker& keys, GameKey key);
// Everything held goes up, e.g. when the window loses focus or the command line takes the keys.
void release_all(KeyTracker& keys);

// The snapshot for one INPUT message. A key pressed and released within one client frame is
// reported down for that snapshot so that a quick tap is never lost. The host reads the letters
// of one snapshot in alphabetical order, so at most one typed key (a letter or backspace) goes
// down per snapshot; a second one waits for the next, keeping the typed order. Arrows, space,
// the modifiers and the mouse never wait behind a held-back letter.
InputState take_snapshot(KeyTracker& keys, Point mouse_world);

// One snapshot standing for two consecutive ones that were not sent apart: the levels and the
// pointer of the newer, the press and release edges of both.
InputState merge_snapshots(const InputState& older, const InputState& newer);

} // namespace cog::client

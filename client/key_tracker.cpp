// Edge bookkeeping for the INPUT snapshots.
#include "client/key_tracker.h"

namespace cog::client {

namespace {

InputKey key_state(const KeyTracker& keys, size_t key) {
    return {keys.held[key] || keys.went_down[key], keys.went_down[key], keys.went_up[key]};
}

bool level(const KeyTracker& keys, size_t key) { return keys.held[key] || keys.went_down[key]; }

} // namespace

void key_down(KeyTracker& keys, GameKey key) {
    if (keys.held[key]) return;
    keys.held[key] = true;
    keys.went_down[key] = true;
}

void key_up(KeyTracker& keys, GameKey key) {
    if (!keys.held[key]) return;
    keys.held[key] = false;
    keys.went_up[key] = true;
}

void release_all(KeyTracker& keys) {
    for (size_t k = 0; k < GAME_KEY_COUNT; ++k) key_up(keys, static_cast<GameKey>(k));
}

InputState take_snapshot(KeyTracker& keys, Point mouse_world) {
    InputState s;
    s.mouse_x = mouse_world.x;
    s.mouse_y = mouse_world.y;
    s.up = level(keys, KEY_UP);
    s.down = level(keys, KEY_DOWN);
    s.left = level(keys, KEY_LEFT);
    s.right = level(keys, KEY_RIGHT);
    s.mouse_left = level(keys, MOUSE_LEFT);
    s.mouse_right = level(keys, MOUSE_RIGHT);
    s.mouse_middle = level(keys, MOUSE_MIDDLE);
    s.space = level(keys, KEY_SPACE);
    s.enter = level(keys, KEY_ENTER);
    s.shift = level(keys, KEY_SHIFT);
    s.ctrl = level(keys, KEY_CTRL);
    s.escape = level(keys, KEY_ESCAPE);
    s.backspace = key_state(keys, KEY_BACKSPACE);
    for (size_t i = 0; i < LETTER_KEY_COUNT; ++i) s.keys[i] = key_state(keys, i);
    keys.went_down.fill(false);
    keys.went_up.fill(false);
    return s;
}

} // namespace cog::client

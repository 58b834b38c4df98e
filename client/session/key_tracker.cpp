// Edge bookkeeping for the INPUT snapshots.
#include "client/session/key_tracker.h"

namespace cog::client {

namespace {

struct Edges {
    std::array<bool, GAME_KEY_COUNT> went_down{};
    std::array<bool, GAME_KEY_COUNT> went_up{};
};

bool is_typed(GameKey key) { return key < LETTER_KEY_COUNT || key == KEY_BACKSPACE; }

// Applies the pending changes that belong in this snapshot and keeps the rest, in order; returns
// the applied edges. Once a typed key waits, every later change of that same key waits with it.
Edges apply_pending(KeyTracker& keys) {
    Edges edges;
    bool typed_one = false;
    std::array<bool, GAME_KEY_COUNT> waiting{};
    size_t kept = 0;
    for (const KeyChange change : keys.pending) {
        const bool second_typed = change.down && is_typed(change.key) && typed_one;
        if (waiting[change.key] || second_typed) {
            waiting[change.key] = true;
            keys.pending[kept++] = change;
            continue;
        }
        if (change.down && is_typed(change.key)) typed_one = true;
        keys.held[change.key] = change.down;
        (change.down ? edges.went_down : edges.went_up)[change.key] = true;
    }
    keys.pending.resize(kept);
    return edges;
}

InputKey merge_key(const InputKey& older, const InputKey& newer) {
    InputKey k;
    k.just_pressed = older.just_pressed || newer.just_pressed;
    k.just_released = older.just_released || newer.just_released;
    // Like a quick tap within one snapshot, a press is reported down in the snapshot that carries it.
    k.is_down = newer.is_down || k.just_pressed;
    return k;
}

} // namespace

void key_down(KeyTracker& keys, GameKey key) {
    if (keys.latest[key]) return;
    keys.latest[key] = true;
    keys.pending.push_back({key, true});
}

void key_up(KeyTracker& keys, GameKey key) {
    if (!keys.latest[key]) return;
    keys.latest[key] = false;
    keys.pending.push_back({key, false});
}

void release_all(KeyTracker& keys) {
    for (size_t k = 0; k < GAME_KEY_COUNT; ++k) key_up(keys, static_cast<GameKey>(k));
}

InputState take_snapshot(KeyTracker& keys, Point mouse_world) {
    const Edges e = apply_pending(keys);
    const auto level = [&](size_t k) { return keys.held[k] || e.went_down[k]; };
    const auto key_state = [&](size_t k) { return InputKey{level(k), e.went_down[k], e.went_up[k]}; };
    InputState s;
    s.mouse_x = mouse_world.x;
    s.mouse_y = mouse_world.y;
    s.up = level(KEY_UP);
    s.down = level(KEY_DOWN);
    s.left = level(KEY_LEFT);
    s.right = level(KEY_RIGHT);
    s.mouse_left = level(MOUSE_LEFT);
    s.mouse_right = level(MOUSE_RIGHT);
    s.mouse_middle = level(MOUSE_MIDDLE);
    s.space = level(KEY_SPACE);
    s.enter = level(KEY_ENTER);
    s.shift = level(KEY_LEFT_SHIFT) || level(KEY_RIGHT_SHIFT);
    s.ctrl = level(KEY_LEFT_CTRL) || level(KEY_RIGHT_CTRL);
    s.escape = level(KEY_ESCAPE);
    s.backspace = key_state(KEY_BACKSPACE);
    for (size_t i = 0; i < LETTER_KEY_COUNT; ++i) s.keys[i] = key_state(i);
    return s;
}

InputState merge_snapshots(const InputState& older, const InputState& newer) {
    InputState s = newer;
    s.backspace = merge_key(older.backspace, newer.backspace);
    for (size_t i = 0; i < LETTER_KEY_COUNT; ++i) s.keys[i] = merge_key(older.keys[i], newer.keys[i]);
    return s;
}

} // namespace cog::client

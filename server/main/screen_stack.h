// The screen stack: up to 16 screens, only the top one is live; push, pop, pop back and reset.
#pragma once

#include "server/screens/screen/screen.h"

#include <array>

namespace cog {

struct HostState;

inline constexpr int SCREEN_STACK_CAPACITY = 16;

struct ScreenStack {
    std::array<Screen, SCREEN_STACK_CAPACITY> entries; // 0 .. count-1 live, count-1 on top
    int count = 0;
    uint64_t screens_built = 0; // the last instance number given out

    Screen* top() { return count > 0 ? &entries[static_cast<size_t>(count - 1)] : nullptr; }
    const Screen* top() const { return count > 0 ? &entries[static_cast<size_t>(count - 1)] : nullptr; }
};

void push_screen(HostState& host, ScreenId id);
void pop_screen(HostState& host);
// Destroys screens above the first one of kind `target` (stopping at the bottom screen), stops
// the music and mounts the new top.
void pop_to_screen(HostState& host, ScreenId target);
void reset_current_screen(HostState& host);
// Shutdown: destroys every screen from the top down, without any other call.
void destroy_all_screens(HostState& host);

} // namespace cog

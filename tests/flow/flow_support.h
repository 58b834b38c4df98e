// Drives a flow screen the way the host's stack does, for the flow tests.
#pragma once

#include "server/screens/screen/screen.h"
#include "tests/support/test_world.h"

#include <string>
#include <vector>

namespace cog::test {

// A push: init, mount, then an enter for every seated player in table order.
inline void push_like_host(ScreenProcs& screen, GlobalState& global) {
    screen.init(global);
    screen.mount();
    for (const auto& [id, player] : global.players)
        if (player.connected) screen.on_player_enter(id);
}

// Updates with a fixed dt; returns the first transition that is not NONE, or NONE after `frames`.
inline ScreenTransition run_frames(ScreenProcs& screen, int frames, float dt) {
    for (int i = 0; i < frames; ++i) {
        ScreenTransition t = screen.update(dt);
        if (t.kind != TransitionKind::NONE) return t;
    }
    return ScreenTransition::none();
}

// The texts of a list, in order.
inline std::vector<std::string> texts_of(const DrawList& list) {
    std::vector<std::string> out;
    for (const DrawCommand& c : list)
        if (c.kind == DrawCommandKind::TEXT) out.emplace_back(c.text);
    return out;
}

} // namespace cog::test

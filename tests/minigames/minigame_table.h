// A seated table for minigame tests: players and roles, a screen started the way the stack starts
// it, input delivery and fixed-step updates.
#pragma once

#include "server/screens/password/password_state.h"
#include "server/screens/screen/screen_kinds.h"
#include "server/screens/typewriter/typewriter_state.h"
#include "tests/support/test_world.h"

#include <memory>
#include <string_view>

namespace cog::test {

// Overseer 1, humans 2 and 3, bots 4..9: eight figures in two rows.
inline constexpr uint32_t COP_ID = 1;
inline constexpr uint32_t HUMAN_ID = 2;
inline constexpr uint32_t OTHER_HUMAN_ID = 3;
inline constexpr uint32_t BOT_ID = 4;

struct Table {
    TestWorld world;
    ConsoleCapture console;

    Table() {
        world.add_human(COP_ID);
        world.global.roles[COP_ID] = PlayerRole::COP;
        for (uint32_t id = HUMAN_ID; id <= OTHER_HUMAN_ID; ++id) world.add_human(id);
        for (uint32_t id = BOT_ID; id <= 9; ++id) world.add_bot(id);
        for (uint32_t id = HUMAN_ID; id <= 9; ++id) world.global.roles[id] = PlayerRole::MASKED;
    }

    // init, mount, then every seated player enters, in table order.
    template <class State>
    std::unique_ptr<State> start(std::unique_ptr<ScreenProcs> created) {
        std::unique_ptr<State> state(static_cast<State*>(created.release()));
        state->init(world.global);
        state->mount();
        for (const auto& [id, player] : world.global.players)
            if (player.connected) state->on_player_enter(id);
        return state;
    }

    std::unique_ptr<typewriter::TypewriterState> typewriter() {
        return start<typewriter::TypewriterState>(create_typewriter(world.random));
    }
    std::unique_ptr<password::PasswordState> password() {
        return start<password::PasswordState>(create_password(world.random));
    }

    // Stores the snapshot in the player's record, then hands it to the screen, like the host.
    void send(ScreenProcs& screen, uint32_t id, const InputState& input) {
        world.global.players[id].input = input;
        screen.handle_input(id, input);
    }
};

inline InputState mouse(float x, float y, bool down) {
    InputState input;
    input.mouse_x = x;
    input.mouse_y = y;
    input.mouse_left = down;
    return input;
}

inline InputState letters(std::string_view pressed) {
    InputState input;
    for (char c : pressed) input.keys[static_cast<size_t>(c - 'A')].just_pressed = true;
    return input;
}

// Runs fixed steps until a transition other than NONE; returns it with the number of steps taken.
struct RunResult {
    ScreenTransition transition;
    int steps = 0;
};
inline RunResult run_until_transition(ScreenProcs& screen, float dt, int max_steps) {
    RunResult result;
    while (result.steps < max_steps) {
        ++result.steps;
        result.transition = screen.update(dt);
        if (result.transition.kind != TransitionKind::NONE) break;
    }
    return result;
}

inline void run_steps(ScreenProcs& screen, float dt, int steps) {
    for (int i = 0; i < steps; ++i) screen.update(dt);
}

inline std::string typed(const MinigamePlayer& player) {
    return std::string(player.typed_text.data(), static_cast<size_t>(player.typed_len));
}

inline size_t count_sprites(const DrawList& list, AssetId asset) {
    size_t n = 0;
    for (const DrawCommand& c : list) n += c.kind == DrawCommandKind::SPRITE && c.asset_id == uint16_t(asset);
    return n;
}

inline const DrawCommand* find_sprite(const DrawList& list, AssetId asset) {
    for (const DrawCommand& c : list)
        if (c.kind == DrawCommandKind::SPRITE && c.asset_id == uint16_t(asset)) return &c;
    return nullptr;
}

} // namespace cog::test

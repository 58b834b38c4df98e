// A seated metro car for tests: the Overseer, humans and bots, a ride started the way the stack
// starts it, input delivery and a hand-made timeline.
#pragma once

#include "server/screens/metro/metro_state.h"
#include "server/screens/screen/screen_kinds.h"
#include "tests/support/test_world.h"

#include <initializer_list>
#include <memory>

namespace cog::test {

// Overseer 1, humans 2 and 3, bot 4: fillers 1000..1004 complete the car.
struct MetroTable {
    static constexpr uint32_t COP = 1, ANN = 2, BOB = 3, BOT = 4;

    TestWorld world;
    ConsoleCapture console;
    std::unique_ptr<metro::MetroState> metro;

    MetroTable() {
        world.add_human(COP);
        world.global.roles[COP] = PlayerRole::COP;
        world.add_human(ANN);
        world.add_human(BOB);
        world.add_bot(BOT);
        for (uint32_t id : {ANN, BOB, BOT}) world.global.roles[id] = PlayerRole::MASKED;
    }

    // init, mount, then every seated player enters, in table order.
    metro::MetroState& start() {
        metro.reset(static_cast<metro::MetroState*>(create_metro().release()));
        metro->init(world.global);
        metro->mount();
        for (const auto& [id, player] : world.global.players)
            if (player.connected) metro->on_player_enter(id);
        return *metro;
    }

    // Stores the snapshot in the player's record, then hands it to the screen, like the host.
    void send(uint32_t id, const InputState& input) {
        world.global.players[id].input = input;
        metro->handle_input(id, input);
    }
    void click(float x, float y) {
        InputState input;
        input.mouse_x = x;
        input.mouse_y = y;
        input.mouse_left = true;
        send(COP, input);
        input.mouse_left = false;
        send(COP, input);
    }
    void hold(uint32_t id, bool left, bool right) {
        InputState input;
        input.left = left;
        input.right = right;
        send(id, input);
    }

    // Replaces the drawn timeline; the practice is over and the ride phase lasts long enough.
    void ride_on(std::initializer_list<metro::MetroEvent> events) {
        metro->event_count = 0;
        for (const metro::MetroEvent& e : events) metro->timeline[static_cast<size_t>(metro->event_count++)] = e;
        metro->intro_timer = 0;
        metro->phase = metro::GAMEPLAY_HIDDEN;
        metro->phase_timer = 1000;
    }

    // Runs updates until the briefing is over and the Overseer may shoot (10 s); then the car
    // rides calmly with everyone upright, so that clicks land where the passengers stand.
    void finish_briefing() {
        for (int i = 0; i < 100 && metro->cop_intro_stage != 3; ++i) metro->update(0.5f);
        ride_on({{metro::MetroEventKind::DO_NOTHING, 50.0f}});
        for (auto& entry : metro->passengers) entry.second.tilt = 0;
    }
};

} // namespace cog::test

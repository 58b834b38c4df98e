// The door memorization on the standard test table, with helpers to reach a phase and to play.
#pragma once

#include "server/screens/doors/doors_state.h"
#include "tests/minigames/minigame_table.h"

#include <initializer_list>
#include <memory>

namespace cog::test {

inline constexpr float DOORS_DT = 0.05f; // s per update

struct DoorsTable : Table {
    std::unique_ptr<doors::DoorsState> start_doors() { return start<doors::DoorsState>(create_doors(world.random)); }

    // A human who presses SPACE exactly when the hand points at the right button.
    void play_perfectly(doors::DoorsState& state, uint32_t id) {
        auto it = state.players.find(id);
        if (it == state.players.end()) return;
        const doors::DoorsPlayer& p = it->second;
        InputState input;
        input.space = p.is_active && !p.is_correct && p.stage >= 0 && p.stage < doors::CELL_COUNT &&
                      doors::button_under_hand(p.hand_pos) == state.sequence[static_cast<size_t>(p.stage)];
        send(state, id, input);
    }

    // Updates, the listed humans playing perfectly, until `done` holds (false after 200 s).
    template <class Done>
    bool play_until(doors::DoorsState& state, std::initializer_list<uint32_t> humans, Done done) {
        for (int i = 0; i < 4000 && !done(); ++i) {
            for (uint32_t id : humans) play_perfectly(state, id);
            state.update(DOORS_DT);
        }
        return done();
    }
    bool run_to_phase(doors::DoorsState& state, int64_t phase) {
        return play_until(state, {HUMAN_ID, OTHER_HUMAN_ID}, [&] { return state.phase == phase; });
    }
};

inline InputState space_down() {
    InputState input;
    input.space = true;
    return input;
}

} // namespace cog::test

// Turn order: who steps up to cell 0 from the row queue and who moves on to the next cell.
#include "server/screens/doors/doors_state.h"

namespace cog::doors {

namespace {
constexpr float EXIT_X = 800; // px, where a walk past the last cell ends

using CellMarks = std::array<bool, CELL_COUNT>;

// The first living player of the row standing at the cell with the hand running.
DoorsPlayer* occupant(DoorsState& state, int64_t row, int64_t cell) {
    for (auto& [id, player] : state.players) {
        if (player.row == row && player.stage == cell && player.is_active && !is_dead_player(state, id)) return &player;
    }
    return nullptr;
}

// A cell someone is walking to is already taken: without this, a fast worker could follow a
// walker into the same cell and the two would stand on top of each other.
CellMarks cells_walked_to(const DoorsState& state, int64_t row) {
    CellMarks marks{};
    for (const auto& [id, player] : state.players) {
        if (player.row == row && player.is_walking && player.stage >= 0 && player.stage < CELL_COUNT) {
            marks[static_cast<size_t>(player.stage)] = true;
        }
    }
    return marks;
}

void activate(DoorsPlayer& player) {
    player.stage = 0;
    player.is_active = true;
    player.is_correct = false;
    player.hand_pos = 1.0f;
    player.hand_dir = 1.0f;
    player.start_delay = ROBOT_START_DELAY;
}

// Takes the first waiting living id from the front of the queue; the last id fills its place.
// Ids whose player has left (or no longer waits) are dropped on the way.
void step_up_from_queue(DoorsState& state, std::vector<uint32_t>& queue) {
    size_t i = 0;
    while (i < queue.size()) {
        uint32_t id = queue[i];
        auto it = state.players.find(id);
        if (it == state.players.end() || it->second.stage != QUEUED) {
            queue.erase(queue.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (is_dead_player(state, id)) {
            ++i;
            continue;
        }
        queue[i] = queue.back();
        queue.pop_back();
        activate(it->second);
        return;
    }
}

void start_walk(DoorsPlayer& player, float to_x, int64_t next_stage) {
    float y = row_y(player.row);
    player.walk_from_x = cell_x(player.stage);
    player.walk_from_y = y;
    player.walk_to_x = to_x;
    player.walk_to_y = y;
    player.stage = next_stage;
    player.is_active = false;
    player.walk_progress = 0;
    player.is_walking = true;
}

bool ready_to_move_on(const DoorsPlayer& p) { return p.is_correct && !p.is_walking && !p.has_pressed && !p.is_animating; }

void move_on(DoorsState& state, DoorsPlayer& player, CellMarks& claimed) {
    int64_t next = player.stage + 1;
    if (next >= CELL_COUNT) {
        start_walk(player, EXIT_X, FINISHED);
        return;
    }
    // A worker who cannot move waits at the cell with the hand stopped.
    if (occupant(state, player.row, next) || claimed[static_cast<size_t>(next)]) return;
    claimed[static_cast<size_t>(next)] = true;
    start_walk(player, cell_x(next), next);
}

void update_row(DoorsState& state, int64_t row) {
    CellMarks claimed = cells_walked_to(state, row);
    for (int64_t cell = 0; cell < CELL_COUNT; ++cell) {
        DoorsPlayer* at_cell = occupant(state, row, cell);
        if (!at_cell && cell == 0) step_up_from_queue(state, state.row_queues[static_cast<size_t>(row)]);
        if (at_cell && ready_to_move_on(*at_cell)) move_on(state, *at_cell, claimed);
    }
}
} // namespace

void update_turn_order(DoorsState& state) {
    for (int64_t row = 0; row < ROW_COUNT; ++row) update_row(state, row);
}

} // namespace cog::doors

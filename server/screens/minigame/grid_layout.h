// Which figures the player grid shows and where: shared by drawing and by the hit test.
#pragma once

#include "server/screens/minigame/minigame_state.h"
#include "server/screens/screen/seats.h"

namespace cog {

inline constexpr int GRID_COLUMNS = 4;
inline constexpr float GRID_LEFT = 130;        // px, x of the first column
inline constexpr float GRID_TOP = 150;         // px, y of the first row
inline constexpr float GRID_COLUMN_STEP = 280; // px
inline constexpr float GRID_ROW_STEP = 260;    // px
inline constexpr float FIGURE_SIZE = 200;      // px, square

struct GridFigure {
    uint32_t id = 0;
    uint32_t number = 0; // the label's number: the seat
    const MinigamePlayer* player = nullptr;
    const PlayerConnection* connection = nullptr; // nullptr when the host has no record
    float cx = 0, cy = 0;                         // top-left of the figure's cell
};

// Calls visit(figure) for each living non-Overseer player in seat order, numbering the cells;
// stops early when visit returns true. Drawing and the Overseer's aim both walk this order.
template <class Visit>
void for_each_figure(const MinigameScreen& state, Visit&& visit) {
    int k = 0;
    for (uint32_t id : ids_in_seat_order(*state.global, state.players)) {
        const MinigamePlayer& player = state.players.at(id);
        if (is_cop(*state.global, id)) continue;
        const PlayerConnection* connection = find_player(*state.global, id);
        if (connection && connection->is_dead) continue;
        GridFigure figure{id, state.figure_number(id), &player, connection,
                          GRID_LEFT + GRID_COLUMN_STEP * static_cast<float>(k % GRID_COLUMNS),
                          GRID_TOP + GRID_ROW_STEP * static_cast<float>(k / GRID_COLUMNS)};
        ++k;
        if (visit(figure)) return;
    }
}

} // namespace cog

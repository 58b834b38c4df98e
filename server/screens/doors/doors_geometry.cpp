// Where the door cells and the figures are, which button a hand points at, and the click test.
#include "server/screens/doors/doors_state.h"
#include "server/screens/screen/seats.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cog::doors {

namespace {
constexpr float CELL_LEFT = 80;       // px, x of a figure standing at cell 0
constexpr float CELL_STEP = 240;      // px between cells
constexpr float ROW_TOP = 120;        // px, y of row 0
constexpr float ROW_STEP = 330;       // px between rows
constexpr float QUEUE_X = -420;       // px, off screen to the left
constexpr float FINISH_LEFT = 780;    // px, first finisher of a row
constexpr float FINISH_STEP = 80;     // px between finishers
constexpr float FIGURE_SIZE = 200;    // px, the clickable square
constexpr float BOUNCE_HEIGHT = 5;    // px of the walking bob, fading out with the ease
constexpr float BOUNCE_CYCLES = 10;   // bobs per walk

// Smoothstep: starts and ends the walk gently.
float ease(float t) { return (3 - 2 * t) * t * t; }

float standing_x(const DoorsPlayer& p) {
    if (p.stage < 0) return QUEUE_X;
    if (p.stage > 2 && p.finish_order >= 0) return FINISH_LEFT + FINISH_STEP * static_cast<float>(p.finish_order);
    return cell_x(p.stage);
}
} // namespace

float cell_x(int64_t stage) { return CELL_LEFT + CELL_STEP * static_cast<float>(stage); }
float row_y(int64_t row) { return ROW_TOP + ROW_STEP * static_cast<float>(row); }

Position player_position(const DoorsPlayer& p) {
    if (!p.is_walking) return {standing_x(p), row_y(p.row)};
    float t = p.walk_progress;
    float e = ease(t);
    float bounce = (1 - e) * BOUNCE_HEIGHT * std::sin(2 * BOUNCE_CYCLES * std::numbers::pi_v<float> * t);
    return {p.walk_from_x + (p.walk_to_x - p.walk_from_x) * e, p.walk_from_y + (p.walk_to_y - p.walk_from_y) * e + bounce};
}

Position get_player_position(const DoorsState& state, uint32_t id) {
    auto it = state.players.find(id);
    return it == state.players.end() ? Position{} : player_position(it->second);
}

int64_t button_under_hand(float hand_pos) {
    return std::clamp(static_cast<int64_t>(std::round(hand_pos)), int64_t{0}, int64_t{CELL_COUNT - 1});
}

// Only figures a viewer can see are targets: queued players stand off screen and the dead are not
// drawn, so a pointer outside the picture must not reach them.
uint32_t figure_at_point(const DoorsState& state, float x, float y) {
    for (uint32_t id : ids_in_seat_order(*state.global, state.players)) {
        const DoorsPlayer& player = state.players.at(id);
        if (id == 0 || !is_drawn_figure(state, id, player)) continue;
        Position p = player_position(player);
        if (p.x <= x && x <= p.x + FIGURE_SIZE && p.y <= y && y <= p.y + FIGURE_SIZE) return id;
    }
    return 0;
}

} // namespace cog::doors

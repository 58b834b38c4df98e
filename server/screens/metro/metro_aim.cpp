// Hit testing of the passengers.
#include "server/screens/metro/metro_aim.h"

#include "server/screens/metro/metro_geometry.h"

#include <cmath>

namespace cog::metro {

namespace {
constexpr float HIT_HALF_WIDTH = 60; // px either side of the anchor
constexpr float HIT_HEIGHT = 240;    // px upwards from the anchor

bool shown_in_car(const MetroState& state, uint32_t id) {
    return id != 0 && !is_cop(*state.global, id) && !viewer_is_dead(state, id);
}
} // namespace

bool passenger_hit(const Passenger& passenger, float x, float y) {
    Point anchor = mask_position(passenger);
    float dx = x - anchor.x, dy = y - anchor.y;
    // Turn the offset back by the tilt, into the passenger's own upright frame.
    float a = -radians(passenger.tilt);
    float lx = std::cos(a) * dx - std::sin(a) * dy;
    float ly = std::cos(a) * dy + std::sin(a) * dx;
    return std::fabs(lx) <= HIT_HALF_WIDTH && -HIT_HEIGHT <= ly && ly <= 0;
}

std::optional<uint32_t> passenger_at(const MetroState& state, float x, float y) {
    for (uint32_t id : ids_by_slot(state)) {
        const Passenger& passenger = state.passengers.at(id);
        // Dead passengers are not drawn during the ride, so they cannot be aimed at either.
        if (shown_in_car(state, id) && passenger_hit(passenger, x, y)) return id;
    }
    return std::nullopt;
}

} // namespace cog::metro

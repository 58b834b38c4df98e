// Drawing of the car, its background and its passengers.
#include "server/screens/metro/metro_scene.h"

#include "server/screens/metro/metro_geometry.h"
#include "server/screens/screen/seats.h"
#include "shared/types/draw.h"

#include <cmath>

namespace cog::metro {

namespace {
constexpr float SCROLL_SPEED = 640;  // px/s
constexpr float SCROLL_PERIOD = 2;   // s until the background repeats
constexpr float LABEL_Y = 525;       // px
constexpr float LABEL_CHAR_WIDTH = 8; // px per byte, for centring

// Drawn in the car during the ride: neither the Overseer nor the dead.
bool rides_visibly(const MetroState& state, uint32_t id) {
    return !is_cop(*state.global, id) && !viewer_is_dead(state, id);
}

void render_passenger(const MetroState& state, uint32_t id, const Passenger& p, DrawList& out) {
    draw_sprite_pro(out, AssetId::STANDING_WITH_ARM, slot_x(p.slot_index), BODY_Y, WHITE, p.tilt, BODY_SCALE,
                    BODY_SCALE, false, false);
    Point mask = mask_position(p);
    draw_sprite_pro(out, passenger_mask(state, id), mask.x, mask.y, WHITE, p.tilt, MASK_SCALE, MASK_SCALE, false,
                    false);
}
} // namespace

void render_scrolling_background(const MetroState& state, DrawList& out) {
    float x0 = -SCROLL_SPEED * std::fmod(state.total_time, SCROLL_PERIOD);
    for (int tile = 0; tile < 3; ++tile) {
        draw_sprite(out, AssetId::TRAIN_BG, x0 + static_cast<float>(WORLD_WIDTH * tile), 0, WORLD_WIDTH, WORLD_HEIGHT,
                    WHITE);
    }
}

void render_still_background(DrawList& out) { draw_sprite(out, AssetId::TRAIN_BG, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, WHITE); }

void render_car(DrawList& out) { draw_sprite(out, AssetId::TRAIN, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, WHITE); }

// A filler wears the mask its number would have as a seat, so it looks like any other robot.
AssetId passenger_mask(const MetroState& state, uint32_t id) {
    auto riding = state.passengers.find(id);
    if (riding != state.passengers.end() && riding->second.is_filler)
        return mask_asset(static_cast<uint32_t>(seat_mask(riding->second.number, state.global->mask_offset)));
    return mask_asset(static_cast<uint32_t>(worn_mask(*state.global, id)));
}

void render_passengers(const MetroState& state, DrawList& out) {
    for (uint32_t id : ids_by_slot(state)) {
        if (rides_visibly(state, id)) render_passenger(state, id, state.passengers.at(id), out);
    }
}

void render_passenger_labels(const MetroState& state, DrawList& out, uint32_t viewer_id) {
    for (uint32_t id : ids_by_slot(state)) {
        if (!rides_visibly(state, id)) continue;
        const Passenger& passenger = state.passengers.at(id);
        bool own = id == viewer_id;
        std::string_view label = own ? std::string_view("YOU") : draw_format(out, "P%u", passenger.number);
        Color color = own ? Color{255, 255, 100, 255} : Color{200, 200, 200, 255};
        float x = slot_x(passenger.slot_index) - LABEL_CHAR_WIDTH * static_cast<float>(label.size());
        draw_text(out, x, LABEL_Y, label, 16, color);
    }
}

} // namespace cog::metro

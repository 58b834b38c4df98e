// Letterboxing arithmetic between world units and window pixels.
#include "client/picture/viewport.h"

#include <algorithm>

namespace cog::client {

Viewport fit_world(int window_w_px, int window_h_px, WorldSize world) {
    const float w = static_cast<float>(std::max(window_w_px, 1));
    const float h = static_cast<float>(std::max(window_h_px, 1));
    Viewport v;
    v.scale = std::min(w / world.width, h / world.height);
    v.offset_x = (w - world.width * v.scale) / 2;
    v.offset_y = (h - world.height * v.scale) / 2;
    return v;
}

Point world_to_window(const Viewport& v, Point world) {
    return {v.offset_x + world.x * v.scale, v.offset_y + world.y * v.scale};
}

Point window_to_world(const Viewport& v, Point window) {
    return {(window.x - v.offset_x) / v.scale, (window.y - v.offset_y) / v.scale};
}

Point pointer_to_world(Point pointer, const WindowSizes& s, WorldSize world) {
    const float px = pointer.x * static_cast<float>(s.pixels_w) / static_cast<float>(std::max(s.points_w, 1));
    const float py = pointer.y * static_cast<float>(s.pixels_h) / static_cast<float>(std::max(s.points_h, 1));
    return window_to_world(fit_world(s.pixels_w, s.pixels_h, world), {px, py});
}

} // namespace cog::client

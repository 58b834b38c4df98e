// Letterboxing arithmetic between world units and window pixels.
#include "client/viewport.h"

#include <algorithm>

namespace cog::client {

Viewport fit_world(int window_w_px, int window_h_px) {
    const float w = static_cast<float>(std::max(window_w_px, 1));
    const float h = static_cast<float>(std::max(window_h_px, 1));
    Viewport v;
    v.scale = std::min(w / WORLD_W, h / WORLD_H);
    v.offset_x = (w - WORLD_W * v.scale) / 2;
    v.offset_y = (h - WORLD_H * v.scale) / 2;
    return v;
}

Point world_to_window(const Viewport& v, Point world) {
    return {v.offset_x + world.x * v.scale, v.offset_y + world.y * v.scale};
}

Point window_to_world(const Viewport& v, Point window) {
    return {(window.x - v.offset_x) / v.scale, (window.y - v.offset_y) / v.scale};
}

} // namespace cog::client

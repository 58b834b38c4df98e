// Fitting the 1280 x 720 world into a window of any size: uniform scale, centred, black bars.
#pragma once

namespace cog::client {

inline constexpr float WORLD_W = 1280; // world units
inline constexpr float WORLD_H = 720;  // world units

struct Point {
    float x = 0, y = 0;
};

struct Viewport {
    float scale = 1;    // window pixels per world unit
    float offset_x = 0; // window pixels left of the world (bar width)
    float offset_y = 0; // window pixels above the world (bar height)
};

// The largest uniform scale that shows the whole world, centred in the window.
Viewport fit_world(int window_w_px, int window_h_px);

Point world_to_window(const Viewport& v, Point world);
// A window position on a bar maps outside 0..1280 x 0..720; callers clamp if they must.
Point window_to_world(const Viewport& v, Point window);

} // namespace cog::client

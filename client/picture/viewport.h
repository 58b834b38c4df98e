// Fitting the drawing world into a window of any size: uniform scale, centred, black bars.
#pragma once

namespace cog::client {

inline constexpr float WORLD_W = 1280; // world units, until the host announces its own
inline constexpr float WORLD_H = 720;  // world units

struct Point {
    float x = 0, y = 0;
};

// The drawing world's size in world units, as the host announced it.
struct WorldSize {
    float width = WORLD_W;
    float height = WORLD_H;
};

struct Viewport {
    float scale = 1;    // window pixels per world unit
    float offset_x = 0; // window pixels left of the world (bar width)
    float offset_y = 0; // window pixels above the world (bar height)
};

// The largest uniform scale that shows the whole world, centred in the window.
Viewport fit_world(int window_w_px, int window_h_px, WorldSize world = {});

Point world_to_window(const Viewport& v, Point world);
// A window position on a bar maps outside the world; callers clamp if they must.
Point window_to_world(const Viewport& v, Point window);

// Window sizes as SDL reports them: the pointer comes in points, the renderer draws in pixels,
// and the two differ on high-DPI screens.
struct WindowSizes {
    int points_w = 1, points_h = 1;
    int pixels_w = 1, pixels_h = 1;
};

// A pointer position in window points, in world units.
Point pointer_to_world(Point pointer, const WindowSizes& sizes, WorldSize world);

} // namespace cog::client

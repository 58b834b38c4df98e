// Small cairo helpers shared by the placeholder painters.
#pragma once

#include "client/art/art.h"

#include <cairo.h>

namespace cog::client::art {

struct Rgb {
    double r, g, b; // 0..1
};

inline constexpr Rgb ROBOT_METAL{0.62, 0.66, 0.72};
inline constexpr Rgb ROBOT_DARK{0.30, 0.33, 0.38};
inline constexpr Rgb OUTLINE{0.10, 0.10, 0.12};
inline constexpr Rgb SKIN{0.93, 0.76, 0.62};

// A cairo context on a fresh transparent image; finish_image hands back the pixels and frees both.
cairo_t* begin_image(int width, int height);
ArtImage finish_image(cairo_t* cr);

void set_colour(cairo_t* cr, Rgb c, double alpha = 1);
void rounded_rect(cairo_t* cr, double x, double y, double w, double h, double radius);
void ellipse(cairo_t* cr, double cx, double cy, double rx, double ry);
// Fills the current path with `fill`, then strokes it with the outline colour.
void fill_and_outline(cairo_t* cr, Rgb fill, double line_width);
void thick_line(cairo_t* cr, double x1, double y1, double x2, double y2, double width, Rgb c);

} // namespace cog::client::art

// Props on their images; the wide ones are 640 x 360 and are stretched over the 1280 x 720 world.
#include "client/art/art_props.h"

#include "client/art/art_paint.h"

#include <cmath>

namespace cog::client::art {

namespace {

constexpr int SIZE = 256;     // pixels, square props
constexpr int WIDE_W = 640;   // pixels, full-screen props
constexpr int WIDE_H = 360;   // pixels

void pip(cairo_t* cr, double x, double y) {
    ellipse(cr, x, y, 22, 22);
    set_colour(cr, OUTLINE);
    cairo_fill(cr);
}

void city_block(cairo_t* cr, double x, double width, double height, Rgb colour) {
    cairo_rectangle(cr, x, WIDE_H * 0.75 - height, width, height);
    set_colour(cr, colour);
    cairo_fill(cr);
    // Lit windows in a grid.
    set_colour(cr, {1.0, 0.9, 0.5}, 0.8);
    for (double wy = WIDE_H * 0.75 - height + 10; wy < WIDE_H * 0.75 - 12; wy += 18)
        for (double wx = x + 6; wx < x + width - 10; wx += 14)
            if (std::fmod(wx * 7 + wy * 3, 5) < 3) cairo_rectangle(cr, wx, wy, 6, 8);
    cairo_fill(cr);
}

} // namespace

ArtImage blue_rect() {
    cairo_t* cr = begin_image(SIZE, SIZE);
    rounded_rect(cr, 4, 4, SIZE - 8, SIZE - 8, 16);
    fill_and_outline(cr, {0.2, 0.4, 0.9}, 6);
    return finish_image(cr);
}

ArtImage office_background() {
    cairo_t* cr = begin_image(WIDE_W, WIDE_H);
    set_colour(cr, {0.55, 0.6, 0.58});
    cairo_paint(cr);
    cairo_rectangle(cr, 0, WIDE_H * 0.7, WIDE_W, WIDE_H * 0.3);
    set_colour(cr, {0.35, 0.3, 0.28});
    cairo_fill(cr);
    for (int i = 0; i < 4; ++i) { // windows on the back wall
        rounded_rect(cr, 40 + 160.0 * i, 40, 110, 120, 6);
        fill_and_outline(cr, {0.6, 0.8, 0.95}, 4);
    }
    return finish_image(cr);
}

ArtImage train_car() {
    // Seen from outside: the car is drawn in front of its passengers, who show through a band of
    // windows; above the roof the city shows. Image units are half world units.
    cairo_t* cr = begin_image(WIDE_W, WIDE_H);
    rounded_rect(cr, -20, 52, WIDE_W + 40, 278, 30); // the roof stays below the ride's clock texts
    set_colour(cr, {0.55, 0.62, 0.70});
    cairo_fill(cr);
    cairo_rectangle(cr, 0, 300, WIDE_W, 14); // stripe along the bottom
    set_colour(cr, {0.85, 0.3, 0.2});
    cairo_fill(cr);
    cairo_rectangle(cr, 0, 330, WIDE_W, 30); // track bed
    set_colour(cr, {0.2, 0.2, 0.22});
    cairo_fill(cr);
    for (int i = 0; i < 6; ++i) { // wheels
        ellipse(cr, 60 + 104.0 * i, 330, 18, 18);
        fill_and_outline(cr, {0.3, 0.3, 0.32}, 3);
    }
    // Four windows, two passengers' slots each (slot k stands at 120 + 60k here).
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    for (int i = 0; i < 4; ++i) rounded_rect(cr, 85 + 120.0 * i, 150, 116, 140, 10);
    cairo_fill(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    set_colour(cr, OUTLINE);
    cairo_set_line_width(cr, 4);
    for (int i = 0; i < 4; ++i) rounded_rect(cr, 85 + 120.0 * i, 150, 116, 140, 10);
    cairo_stroke(cr);
    for (int i = 0; i < 2; ++i) { // doors at the ends
        rounded_rect(cr, i == 0 ? 14 : WIDE_W - 60, 110, 46, 190, 6);
        fill_and_outline(cr, {0.45, 0.5, 0.58}, 3);
    }
    return finish_image(cr);
}

ArtImage city_view() {
    cairo_t* cr = begin_image(WIDE_W, WIDE_H);
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, WIDE_H);
    cairo_pattern_add_color_stop_rgb(sky, 0, 0.35, 0.55, 0.85);
    cairo_pattern_add_color_stop_rgb(sky, 1, 0.95, 0.75, 0.55);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);
    // Fixed blocks so that the picture joins itself at the edges.
    const double heights[] = {120, 180, 90, 210, 140, 160, 100, 190, 130, 170};
    for (int i = 0; i < 10; ++i)
        city_block(cr, 64.0 * i + 4, 56, heights[i], i % 2 ? Rgb{0.25, 0.27, 0.35} : Rgb{0.32, 0.3, 0.4});
    cairo_rectangle(cr, 0, WIDE_H * 0.75, WIDE_W, WIDE_H * 0.25);
    set_colour(cr, {0.2, 0.22, 0.2});
    cairo_fill(cr);
    return finish_image(cr);
}

ArtImage button(bool pressed) {
    cairo_t* cr = begin_image(SIZE, SIZE);
    // The button is small in the middle of its picture: the host overlaps neighbouring pictures.
    rounded_rect(cr, 78, 98, 100, 60, 14);
    fill_and_outline(cr, {0.35, 0.35, 0.4}, 4);
    const double lift = pressed ? 0 : 12;
    ellipse(cr, 128, 124 - lift, 34, 20);
    fill_and_outline(cr, pressed ? Rgb{0.3, 1.0, 0.4} : Rgb{0.8, 0.15, 0.15}, 4);
    if (pressed) { // lit: a glow around it
        ellipse(cr, 128, 124, 50, 34);
        set_colour(cr, {0.3, 1.0, 0.4}, 0.35);
        cairo_fill(cr);
    }
    return finish_image(cr);
}

ArtImage die_face(int face) {
    cairo_t* cr = begin_image(SIZE, SIZE);
    rounded_rect(cr, 16, 16, SIZE - 32, SIZE - 32, 36);
    fill_and_outline(cr, {0.97, 0.97, 0.95}, 8);
    const double lo = 76, mid = 128, hi = 180;
    if (face == 1 || face == 3) pip(cr, mid, mid);
    if (face >= 2) {
        pip(cr, lo, lo);
        pip(cr, hi, hi);
    }
    if (face == 4) {
        pip(cr, hi, lo);
        pip(cr, lo, hi);
    }
    return finish_image(cr);
}

ArtImage flashlight() {
    constexpr int S = 512;
    cairo_t* cr = begin_image(S, S);
    // Drawn 3000 units wide around the pointer: a hole of radius 0.06 is 180 units.
    cairo_pattern_t* light = cairo_pattern_create_radial(S / 2.0, S / 2.0, S * 0.045, S / 2.0, S / 2.0, S * 0.07);
    cairo_pattern_add_color_stop_rgba(light, 0, 0, 0, 0, 0);
    cairo_pattern_add_color_stop_rgba(light, 1, 0, 0, 0, 0.96);
    cairo_set_source(cr, light);
    cairo_paint(cr);
    cairo_pattern_destroy(light);
    return finish_image(cr);
}

ArtImage gun_sight() {
    cairo_t* cr = begin_image(SIZE, SIZE);
    const Rgb red{1.0, 0.15, 0.1};
    set_colour(cr, red);
    cairo_set_line_width(cr, 10);
    ellipse(cr, 128, 128, 96, 96);
    cairo_stroke(cr);
    thick_line(cr, 128, 8, 128, 96, 8, red);
    thick_line(cr, 128, 160, 128, 248, 8, red);
    thick_line(cr, 8, 128, 96, 128, 8, red);
    thick_line(cr, 160, 128, 248, 128, 8, red);
    ellipse(cr, 128, 128, 8, 8);
    cairo_fill(cr);
    return finish_image(cr);
}

} // namespace cog::client::art

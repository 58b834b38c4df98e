// Robots and people on 256 x 256 images. A mask's face sits where the bodies' heads are, so a
// mask drawn over the same rectangle as a body hides the head.
#include "client/art/art_figures.h"

#include "client/art/art_paint.h"

#include <array>
#include <cmath>

namespace cog::client::art {

namespace {

constexpr int SIZE = 256; // pixels

constexpr std::array<Rgb, 8> MASK_COLOURS{{
    {0.85, 0.20, 0.20}, // red
    {0.20, 0.40, 0.90}, // blue
    {0.20, 0.75, 0.30}, // green
    {0.95, 0.85, 0.20}, // yellow
    {0.60, 0.30, 0.80}, // purple
    {0.95, 0.55, 0.15}, // orange
    {0.20, 0.80, 0.85}, // cyan
    {0.95, 0.50, 0.70}, // pink
}};

void robot_head(cairo_t* cr, double cx, double cy, double r) {
    rounded_rect(cr, cx - r, cy - r * 0.9, 2 * r, 1.8 * r, r * 0.3);
    fill_and_outline(cr, ROBOT_METAL, 4);
    // Antenna, so a robot reads as a robot even where a mask hides its face.
    thick_line(cr, cx, cy - r * 0.9, cx, cy - r * 1.25, 4, OUTLINE);
    ellipse(cr, cx, cy - r * 1.3, 6, 6);
    fill_and_outline(cr, {0.9, 0.2, 0.2}, 2);
}

void robot_torso(cairo_t* cr, double x, double y, double w, double h) {
    rounded_rect(cr, x, y, w, h, 16);
    fill_and_outline(cr, ROBOT_METAL, 4);
    rounded_rect(cr, x + w * 0.3, y + h * 0.2, w * 0.4, h * 0.3, 6);
    fill_and_outline(cr, ROBOT_DARK, 2);
    for (int i = 0; i < 3; ++i) {
        ellipse(cr, x + w * (0.35 + 0.15 * i), y + h * 0.35, 4, 4);
        set_colour(cr, i == 1 ? Rgb{0.3, 0.9, 0.3} : Rgb{0.9, 0.8, 0.2});
        cairo_fill(cr);
    }
}

void sparks(cairo_t* cr, double cx, double cy) {
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4 + 0.3;
        thick_line(cr, cx + 10 * std::cos(a), cy + 10 * std::sin(a), cx + 34 * std::cos(a), cy + 34 * std::sin(a), 4,
                   {1.0, 0.85, 0.1});
    }
}

void blood(cairo_t* cr, double cx, double cy, double r) {
    set_colour(cr, {0.75, 0.05, 0.05});
    ellipse(cr, cx, cy, r, r * 0.8);
    cairo_fill(cr);
    for (int i = 0; i < 6; ++i) {
        const double a = i * M_PI / 3 + 0.5;
        ellipse(cr, cx + r * 1.3 * std::cos(a), cy + r * 1.1 * std::sin(a), r * 0.25, r * 0.25);
        cairo_fill(cr);
    }
}

void human_face(cairo_t* cr, double cx, double cy, double r) {
    ellipse(cr, cx, cy, r * 0.85, r);
    fill_and_outline(cr, SKIN, 4);
    set_colour(cr, {0.35, 0.2, 0.1});
    ellipse(cr, cx, cy - r * 0.75, r * 0.8, r * 0.35); // hair
    cairo_fill(cr);
    set_colour(cr, OUTLINE);
    ellipse(cr, cx - r * 0.3, cy, 5, 6);
    ellipse(cr, cx + r * 0.3, cy, 5, 6);
    cairo_fill(cr);
}

void x_eyes(cairo_t* cr, double cx, double cy, double r) {
    for (double side : {-1.0, 1.0}) {
        const double ex = cx + side * r * 0.4;
        thick_line(cr, ex - 8, cy - 8, ex + 8, cy + 8, 4, OUTLINE);
        thick_line(cr, ex - 8, cy + 8, ex + 8, cy - 8, 4, OUTLINE);
    }
}

void standing_frame(cairo_t* cr, bool left_arm, bool right_arm) {
    // Legs, torso, arms; the head (centre 128, 40) is what masks cover.
    rounded_rect(cr, 96, 168, 26, 84, 8);
    fill_and_outline(cr, ROBOT_DARK, 4);
    rounded_rect(cr, 134, 168, 26, 84, 8);
    fill_and_outline(cr, ROBOT_DARK, 4);
    if (left_arm) {
        rounded_rect(cr, 58, 86, 22, 84, 10);
        fill_and_outline(cr, ROBOT_METAL, 4);
    }
    if (right_arm) {
        rounded_rect(cr, 176, 86, 22, 84, 10);
        fill_and_outline(cr, ROBOT_METAL, 4);
    }
    robot_torso(cr, 80, 78, 96, 96);
    rounded_rect(cr, 118, 62, 20, 20, 4); // neck
    fill_and_outline(cr, ROBOT_DARK, 3);
}

} // namespace

ArtImage seated_body() {
    cairo_t* cr = begin_image(SIZE, SIZE);
    robot_torso(cr, 52, 146, 152, 112);
    rounded_rect(cr, 114, 128, 28, 24, 4);
    fill_and_outline(cr, ROBOT_DARK, 3);
    robot_head(cr, 128, 80, 52);
    return finish_image(cr);
}

ArtImage standing_body(bool with_right_arm) {
    cairo_t* cr = begin_image(SIZE, SIZE);
    standing_frame(cr, true, with_right_arm);
    robot_head(cr, 128, 40, 30);
    return finish_image(cr);
}

ArtImage mask(int index) {
    const Rgb colour = MASK_COLOURS[static_cast<size_t>(index) % MASK_COLOURS.size()];
    cairo_t* cr = begin_image(SIZE, SIZE);
    ellipse(cr, 128, 80, 60, 68);
    fill_and_outline(cr, colour, 5);
    // A lighter band and the mask's number of dots tell the masks apart for the colour-blind too.
    set_colour(cr, {1, 1, 1}, 0.35);
    ellipse(cr, 128, 50, 44, 14);
    cairo_fill(cr);
    for (int i = 0; i <= index % 8; ++i) {
        ellipse(cr, 128 - 7.0 * (index % 8) + 14.0 * i, 128, 4, 4);
        set_colour(cr, OUTLINE, 0.7);
        cairo_fill(cr);
    }
    // Eye holes: cut out, so whatever is underneath shows through.
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    ellipse(cr, 106, 76, 13, 9);
    ellipse(cr, 150, 76, 13, 9);
    cairo_fill(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    set_colour(cr, OUTLINE);
    cairo_set_line_width(cr, 3);
    ellipse(cr, 106, 76, 13, 9);
    ellipse(cr, 150, 76, 13, 9);
    cairo_stroke(cr);
    // Mouth slit.
    thick_line(cr, 108, 112, 148, 112, 4, OUTLINE);
    return finish_image(cr);
}

ArtImage hand(bool left) {
    cairo_t* cr = begin_image(SIZE, SIZE);
    const double cx = left ? 70 : 186;
    for (int i = 0; i < 4; ++i) {
        rounded_rect(cr, cx - 24 + 12.5 * i, 196, 10, 30, 5); // fingers over the keys
        fill_and_outline(cr, ROBOT_METAL, 3);
    }
    rounded_rect(cr, cx - 26, 176, 52, 30, 10);
    fill_and_outline(cr, ROBOT_METAL, 4);
    rounded_rect(cr, left ? cx - 50 : cx + 22, 184, 28, 14, 5); // thumb
    fill_and_outline(cr, ROBOT_METAL, 3);
    return finish_image(cr);
}

ArtImage pointing_hand() {
    cairo_t* cr = begin_image(SIZE, SIZE);
    // Forearm from the lower left, index finger pointing right at the middle height.
    rounded_rect(cr, 84, 124, 50, 32, 12);
    fill_and_outline(cr, ROBOT_METAL, 4);
    rounded_rect(cr, 118, 112, 56, 56, 14);
    fill_and_outline(cr, ROBOT_METAL, 4);
    rounded_rect(cr, 160, 118, 64, 18, 9);
    fill_and_outline(cr, ROBOT_METAL, 4);
    for (int i = 0; i < 3; ++i) {
        rounded_rect(cr, 160, 138 + 10.0 * i, 22, 10, 5);
        fill_and_outline(cr, ROBOT_DARK, 2);
    }
    return finish_image(cr);
}

ArtImage shot_seated(bool robot) {
    cairo_t* cr = begin_image(SIZE, SIZE);
    cairo_translate(cr, 128, 200);
    cairo_rotate(cr, 0.35); // slumped over
    cairo_translate(cr, -128, -200);
    if (robot) {
        robot_torso(cr, 52, 146, 152, 112);
        robot_head(cr, 128, 88, 50);
        x_eyes(cr, 128, 88, 50);
        sparks(cr, 170, 130);
    } else {
        rounded_rect(cr, 52, 146, 152, 112, 20);
        fill_and_outline(cr, {0.25, 0.35, 0.55}, 4);
        human_face(cr, 128, 90, 48);
        x_eyes(cr, 128, 90, 48);
        blood(cr, 128, 190, 26);
    }
    return finish_image(cr);
}

ArtImage shot_standing(bool robot) {
    cairo_t* cr = begin_image(SIZE, SIZE);
    if (robot) {
        standing_frame(cr, true, true);
        robot_head(cr, 128, 40, 30);
        x_eyes(cr, 128, 40, 30);
        sparks(cr, 150, 110);
    } else {
        rounded_rect(cr, 96, 168, 26, 84, 8);
        fill_and_outline(cr, {0.2, 0.2, 0.3}, 4);
        rounded_rect(cr, 134, 168, 26, 84, 8);
        fill_and_outline(cr, {0.2, 0.2, 0.3}, 4);
        rounded_rect(cr, 76, 78, 104, 96, 18);
        fill_and_outline(cr, {0.25, 0.35, 0.55}, 4);
        human_face(cr, 128, 42, 34);
        x_eyes(cr, 128, 42, 34);
        blood(cr, 128, 120, 20);
    }
    return finish_image(cr);
}

ArtImage player_figure() {
    cairo_t* cr = begin_image(SIZE, SIZE);
    rounded_rect(cr, 76, 100, 104, 150, 24);
    fill_and_outline(cr, {0.25, 0.45, 0.85}, 4);
    human_face(cr, 128, 60, 44);
    return finish_image(cr);
}

} // namespace cog::client::art

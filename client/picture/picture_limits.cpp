// Clamping of host geometry and the covered-area budget of a picture.
#include "client/picture/picture_limits.h"

#include "client/picture/picture.h"
#include "client/picture/text_metrics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cog::client {

namespace {

// DejaVu Sans, measured over every glyph it has: no glyph is wider than one em per byte of its
// UTF-8 form ('@' and 'W' are one em wide), and no line box is taller than 1.33 em.
constexpr float TEXT_EMS_PER_BYTE = 1.0f;
constexpr float TEXT_LINE_EMS = 1.35f;

struct Box {
    float x = 0, y = 0, width = 0, height = 0;
};

// The em of a text's font, in world units.
float text_em(int font_size) { return static_cast<float>(std::clamp(font_size, 0, MAX_FONT_SIZE)) * POINTS_PER_FONT_UNIT; }

// Where a command may draw, in world units; empty for commands that draw nothing.
Box bounding_box(const DrawCommand& c) {
    const float x = clamp_coord(c.x), y = clamp_coord(c.y);
    switch (c.kind) {
    case DrawCommandKind::RECT: return {x, y, clamp_extent(c.width), clamp_extent(c.height)};
    case DrawCommandKind::TEXT: {
        // A lone glyph is centred in a cell narrower than the widest glyph, so it may start left of x.
        const float em = text_em(c.font_size), lead = (1 - SINGLE_GLYPH_CELL) / 2 * em;
        return {x - lead, y, text_width_limit(c.text.size(), c.font_size) + lead, clamp_extent(TEXT_LINE_EMS * em)};
    }
    case DrawCommandKind::LINE: {
        const float x2 = clamp_coord(c.x2), y2 = clamp_coord(c.y2);
        const float half = std::clamp(c.width, 1.0f, COORD_LIMIT) / 2;
        return {std::min(x, x2) - half, std::min(y, y2) - half, std::fabs(x2 - x) + 2 * half, std::fabs(y2 - y) + 2 * half};
    }
    default: return {};
    }
}

double visible_area(const Box& b, WorldSize world) {
    const float w = std::min(b.x + b.width, world.width) - std::max(b.x, 0.0f);
    const float h = std::min(b.y + b.height, world.height) - std::max(b.y, 0.0f);
    return w > 0 && h > 0 ? double(w) * h : 0;
}

// An image too large to be drawn costs nothing, since it is skipped.
double image_cost(double area, WorldSize world) { return image_fits(area, world) ? area : 0; }

// What drawing a command costs, in world units squared.
double command_cost(const DrawCommand& c, WorldSize world) {
    switch (c.kind) {
    case DrawCommandKind::SPRITE: return image_cost(turned_area(clamp_extent(c.width), clamp_extent(c.height), 0), world);
    case DrawCommandKind::SPRITE_PRO: {
        const SpritePlacement p = place_sprite_pro(c);
        return image_cost(turned_area(p.width, p.height, p.rotation_deg), world);
    }
    case DrawCommandKind::CIRCLE: {
        const float diameter = 2 * clamp_extent(c.width);
        return image_cost(turned_area(diameter, diameter, 0), world);
    }
    default: return visible_area(bounding_box(c), world);
    }
}

} // namespace

float clamp_coord(float value) { return std::isfinite(value) ? std::clamp(value, -COORD_LIMIT, COORD_LIMIT) : 0; }

float clamp_extent(float value) { return value > 0 && std::isfinite(value) ? std::min(value, 2 * COORD_LIMIT) : 0; }

float clamp_scale(float value) { return std::isfinite(value) ? std::clamp(value, -MAX_SPRITE_SCALE, MAX_SPRITE_SCALE) : 0; }

float reduce_rotation(float degrees) { return std::isfinite(degrees) ? std::fmod(degrees, 360.0f) : 0; }

float text_width_limit(size_t bytes, int font_size) {
    return clamp_extent(TEXT_EMS_PER_BYTE * text_em(font_size) * static_cast<float>(bytes));
}

double turned_area(float width, float height, float rotation_deg) {
    const double turn = double(rotation_deg) * std::numbers::pi / 180;
    const double c = std::fabs(std::cos(turn)), s = std::fabs(std::sin(turn));
    return (width * c + height * s) * (width * s + height * c);
}

bool image_fits(double area, WorldSize world) {
    return area <= double(MAX_IMAGE_WORLDS) * world.width * world.height;
}

size_t commands_within_budget(std::span<const DrawCommand> commands, WorldSize world) {
    const double budget = double(MAX_COVERED_WORLDS) * world.width * world.height;
    double covered = 0;
    for (size_t i = 0; i < commands.size(); ++i) {
        covered += command_cost(commands[i], world);
        if (covered > budget) return i;
    }
    return commands.size();
}

} // namespace cog::client

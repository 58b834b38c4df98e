// Clamping of host geometry and the covered-area budget of a picture.
#include "client/picture_limits.h"

#include "client/sprite_frames.h"

#include <algorithm>
#include <cmath>

namespace cog::client {

namespace {

constexpr float TEXT_WIDTH_PER_BYTE = 0.6f; // of the font size: a generous estimate of a glyph

struct Box {
    float x = 0, y = 0, width = 0, height = 0;
};

// Where a command may draw, in world units; empty for commands that draw nothing.
Box bounding_box(const DrawCommand& c) {
    const float x = clamp_coord(c.x), y = clamp_coord(c.y);
    switch (c.kind) {
    case DrawCommandKind::RECT:
    case DrawCommandKind::SPRITE: return {x, y, clamp_extent(c.width), clamp_extent(c.height)};
    case DrawCommandKind::TEXT: {
        const float size = static_cast<float>(std::clamp(c.font_size, 0, MAX_FONT_SIZE));
        return {x, y, clamp_extent(size * TEXT_WIDTH_PER_BYTE * static_cast<float>(c.text.size())), size};
    }
    case DrawCommandKind::SPRITE_PRO: {
        // Any anchor and any turn stay within a square of the frame's diagonal around (x, y).
        const float frame = sprite_frame(c.asset_id).size;
        const float w = frame * std::fabs(clamp_scale(c.scale_x)), h = frame * std::fabs(clamp_scale(c.scale_y));
        const float reach = std::hypot(w, h);
        return {x - reach, y - reach, 2 * reach, 2 * reach};
    }
    case DrawCommandKind::CIRCLE: {
        const float r = clamp_extent(c.width);
        return {x - r, y - r, 2 * r, 2 * r};
    }
    case DrawCommandKind::LINE: {
        const float x2 = clamp_coord(c.x2), y2 = clamp_coord(c.y2);
        const float half = std::clamp(c.width, 1.0f, COORD_LIMIT) / 2;
        return {std::min(x, x2) - half, std::min(y, y2) - half, std::fabs(x2 - x) + 2 * half, std::fabs(y2 - y) + 2 * half};
    }
    }
    return {};
}

float visible_area(const Box& b, WorldSize world) {
    const float w = std::min(b.x + b.width, world.width) - std::max(b.x, 0.0f);
    const float h = std::min(b.y + b.height, world.height) - std::max(b.y, 0.0f);
    return w > 0 && h > 0 ? w * h : 0;
}

} // namespace

float clamp_coord(float value) { return std::isfinite(value) ? std::clamp(value, -COORD_LIMIT, COORD_LIMIT) : 0; }

float clamp_extent(float value) { return value > 0 && std::isfinite(value) ? std::min(value, 2 * COORD_LIMIT) : 0; }

float clamp_scale(float value) { return std::isfinite(value) ? std::clamp(value, -MAX_SPRITE_SCALE, MAX_SPRITE_SCALE) : 0; }

float reduce_rotation(float degrees) { return std::isfinite(degrees) ? std::fmod(degrees, 360.0f) : 0; }

size_t commands_within_budget(std::span<const DrawCommand> commands, WorldSize world) {
    const double budget = double(MAX_COVERED_WORLDS) * world.width * world.height;
    double covered = 0;
    for (size_t i = 0; i < commands.size(); ++i) {
        covered += visible_area(bounding_box(commands[i]), world);
        if (covered > budget) return i;
    }
    return commands.size();
}

} // namespace cog::client

// Translation of draw commands into canvas calls, with the host's geometry clamped on the way.
#include "client/picture/picture.h"

#include "client/picture/picture_limits.h"
#include "client/picture/sprite_frames.h"

#include <algorithm>
#include <cmath>

namespace cog::client {

namespace {

constexpr float MAX_LINE_THICKNESS = 1024; // world units

SpritePlacement place_sprite(const DrawCommand& c) {
    SpritePlacement p;
    p.asset = c.asset_id;
    p.x = clamp_coord(c.x);
    p.y = clamp_coord(c.y);
    p.width = clamp_extent(c.width);
    p.height = clamp_extent(c.height);
    p.pivot_x = p.width / 2;
    p.pivot_y = p.height / 2;
    p.tint = c.color;
    return p;
}

bool draws_something(const SpritePlacement& p) { return p.width > 0 && p.height > 0; }

// CIRCLE: centre (x, y), radius in `width`. LINE: (x, y) to (x2, y2), thickness in `width`.
void draw_shape(const DrawCommand& c, WorldSize world, Canvas& canvas) {
    if (c.kind == DrawCommandKind::CIRCLE) {
        const float radius = clamp_extent(c.width);
        if (radius > 0 && image_fits(turned_area(2 * radius, 2 * radius, 0), world))
            canvas.circle(clamp_coord(c.x), clamp_coord(c.y), radius, c.color);
    } else {
        const float thickness = c.width > 0 ? std::min(c.width, MAX_LINE_THICKNESS) : 1;
        canvas.line(clamp_coord(c.x), clamp_coord(c.y), clamp_coord(c.x2), clamp_coord(c.y2), thickness, c.color);
    }
}

void draw_rect(const DrawCommand& c, Canvas& canvas) {
    const float width = clamp_extent(c.width), height = clamp_extent(c.height);
    if (width > 0 && height > 0) canvas.fill_rect(clamp_coord(c.x), clamp_coord(c.y), width, height, c.color);
}

void draw_text(const DrawCommand& c, Canvas& canvas) {
    if (c.text.empty() || c.font_size < 1) return;
    canvas.text(clamp_coord(c.x), clamp_coord(c.y), c.text, std::min(c.font_size, MAX_FONT_SIZE), c.color);
}

void draw_sprite(const SpritePlacement& p, WorldSize world, Canvas& canvas) {
    if (draws_something(p) && image_fits(turned_area(p.width, p.height, p.rotation_deg), world)) canvas.sprite(p);
}

} // namespace

SpritePlacement place_sprite_pro(const DrawCommand& c) {
    const SpriteFrame frame = sprite_frame(c.asset_id);
    const float scale_x = clamp_scale(c.scale_x), scale_y = clamp_scale(c.scale_y);
    SpritePlacement p;
    p.asset = c.asset_id;
    // A negative scale mirrors, like a flip.
    p.width = frame.size * std::fabs(scale_x);
    p.height = frame.size * std::fabs(scale_y);
    p.flip_x = c.flip_x != (scale_x < 0);
    p.flip_y = c.flip_y != (scale_y < 0);
    p.pivot_x = p.width * frame.anchor_x;
    p.pivot_y = p.height * frame.anchor_y;
    p.x = clamp_coord(c.x) - p.pivot_x;
    p.y = clamp_coord(c.y) - p.pivot_y;
    p.rotation_deg = reduce_rotation(c.rotation);
    p.tint = c.color;
    return p;
}

void draw_picture(std::span<const DrawCommand> commands, WorldSize world, Canvas& canvas) {
    for (const DrawCommand& c : commands) {
        switch (c.kind) {
        case DrawCommandKind::RECT: draw_rect(c, canvas); break;
        case DrawCommandKind::TEXT: draw_text(c, canvas); break;
        case DrawCommandKind::SPRITE: draw_sprite(place_sprite(c), world, canvas); break;
        case DrawCommandKind::SPRITE_PRO: draw_sprite(place_sprite_pro(c), world, canvas); break;
        case DrawCommandKind::CIRCLE:
        case DrawCommandKind::LINE: draw_shape(c, world, canvas); break;
        }
    }
}

} // namespace cog::client

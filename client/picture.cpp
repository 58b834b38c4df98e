// Translation of draw commands into canvas calls.
#include "client/picture.h"

#include "client/sprite_frames.h"

#include <cmath>

namespace cog::client {

namespace {

SpritePlacement place_sprite(const DrawCommand& c) {
    SpritePlacement p;
    p.asset = c.asset_id;
    p.x = c.x;
    p.y = c.y;
    p.width = c.width;
    p.height = c.height;
    p.pivot_x = c.width / 2;
    p.pivot_y = c.height / 2;
    p.tint = c.color;
    return p;
}

// CIRCLE: centre (x, y), radius in `width`. LINE: (x, y) to (x2, y2), thickness in `width`.
void draw_shape(const DrawCommand& c, Canvas& canvas) {
    if (c.kind == DrawCommandKind::CIRCLE) {
        canvas.circle(c.x, c.y, c.width, c.color);
    } else {
        canvas.line(c.x, c.y, c.x2, c.y2, c.width > 0 ? c.width : 1, c.color);
    }
}

} // namespace

SpritePlacement place_sprite_pro(const DrawCommand& c) {
    const SpriteFrame frame = sprite_frame(c.asset_id);
    SpritePlacement p;
    p.asset = c.asset_id;
    // A negative scale mirrors, like a flip.
    p.width = frame.size * std::fabs(c.scale_x);
    p.height = frame.size * std::fabs(c.scale_y);
    p.flip_x = c.flip_x != (c.scale_x < 0);
    p.flip_y = c.flip_y != (c.scale_y < 0);
    p.pivot_x = p.width * frame.anchor_x;
    p.pivot_y = p.height * frame.anchor_y;
    p.x = c.x - p.pivot_x;
    p.y = c.y - p.pivot_y;
    p.rotation_deg = c.rotation;
    p.tint = c.color;
    return p;
}

void draw_picture(std::span<const DrawCommand> commands, Canvas& canvas) {
    for (const DrawCommand& c : commands) {
        switch (c.kind) {
        case DrawCommandKind::RECT: canvas.fill_rect(c.x, c.y, c.width, c.height, c.color); break;
        case DrawCommandKind::TEXT: canvas.text(c.x, c.y, c.text, c.font_size, c.color); break;
        case DrawCommandKind::SPRITE: canvas.sprite(place_sprite(c)); break;
        case DrawCommandKind::SPRITE_PRO: canvas.sprite(place_sprite_pro(c)); break;
        case DrawCommandKind::CIRCLE:
        case DrawCommandKind::LINE: draw_shape(c, canvas); break;
        }
    }
}

} // namespace cog::client

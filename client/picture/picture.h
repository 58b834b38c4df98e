// Drawing one DRAW_COMMANDS list onto a canvas, in list order.
#pragma once

#include "client/picture/canvas.h"
#include "client/picture/viewport.h"
#include "shared/protocol/messages.h"

#include <span>

namespace cog::client {

// Images too large to draw in a world of that size are skipped (see image_fits).
void draw_picture(std::span<const DrawCommand> commands, WorldSize world, Canvas& canvas);

// Where a SPRITE_PRO lands: its frame scaled, anchored on (x, y), turned around that point.
SpritePlacement place_sprite_pro(const DrawCommand& command);

} // namespace cog::client

// Drawing one DRAW_COMMANDS list onto a canvas, in list order.
#pragma once

#include "client/canvas.h"
#include "shared/protocol/messages.h"

#include <span>

namespace cog::client {

void draw_picture(std::span<const DrawCommand> commands, Canvas& canvas);

// Where a SPRITE_PRO lands: its frame scaled, anchored on (x, y), turned around that point.
SpritePlacement place_sprite_pro(const DrawCommand& command);

} // namespace cog::client

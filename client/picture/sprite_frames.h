// How big a SPRITE_PRO image is at scale 1 and which of its points sits on the command's (x, y).
#pragma once

#include <cstdint>

namespace cog::client {

struct SpriteFrame {
    float size = 1024; // world units per side at scale 1 (the host sends fractions of this)
    float anchor_x = 0.5f; // fraction of the width from the left
    float anchor_y = 0.5f; // fraction of the height from the top
};

SpriteFrame sprite_frame(uint16_t asset);

} // namespace cog::client

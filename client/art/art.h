// Placeholder pictures for every sprite identifier, painted at start-up (the game ships no images).
#pragma once

#include <cstdint>
#include <vector>

namespace cog::client {

// Straight (not premultiplied) alpha, one 0xAARRGGBB word per pixel, rows top to bottom.
struct ArtImage {
    int width = 0, height = 0; // pixels
    std::vector<uint32_t> argb;
};

// Empty (width 0) for NONE and for values no sprite has.
ArtImage paint_asset(uint16_t asset);

} // namespace cog::client

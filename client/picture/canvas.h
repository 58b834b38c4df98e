// What a picture is drawn onto, in world units: the window in the game, a recorder in tests.
#pragma once

#include "shared/protocol/messages.h"

#include <cstdint>
#include <string_view>

namespace cog::client {

struct SpritePlacement {
    uint16_t asset = 0;          // an AssetId value; unknown values are drawn as a marked box
    float x = 0, y = 0;          // top-left corner before rotation, world units
    float width = 0, height = 0; // world units
    float pivot_x = 0, pivot_y = 0; // rotation centre, relative to the top-left corner, world units
    float rotation_deg = 0;      // clockwise on screen
    bool flip_x = false, flip_y = false;
    Color tint{255, 255, 255, 255};
};

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fill_rect(float x, float y, float width, float height, Color color) = 0;
    // (x, y) is the top-left corner of the text's line box; font_size is its height in world units.
    virtual void text(float x, float y, std::string_view text, int font_size, Color color) = 0;
    virtual void sprite(const SpritePlacement& placement) = 0;
    virtual void circle(float centre_x, float centre_y, float radius, Color color) = 0;
    virtual void line(float x1, float y1, float x2, float y2, float thickness, Color color) = 0;
};

} // namespace cog::client

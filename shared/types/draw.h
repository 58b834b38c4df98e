// Filling draw commands: one helper per command kind, formatted texts in the list's arena, and
// the glowing title text.
#pragma once

#include "shared/assets/assets.h"
#include "shared/protocol/messages.h"

#include <string_view>

namespace cog {

inline constexpr int WORLD_WIDTH = 1280;
inline constexpr int WORLD_HEIGHT = 720;

inline constexpr Color WHITE{255, 255, 255, 255};

void draw_rect(DrawList& list, float x, float y, float width, float height, Color color);

// `text` must outlive the frame: a literal, or a text from draw_format.
void draw_text(DrawList& list, float x, float y, std::string_view text, int font_size, Color color);

void draw_sprite(DrawList& list, AssetId asset, float x, float y, float width, float height, Color color);

void draw_sprite_pro(DrawList& list, AssetId asset, float x, float y, Color color, float rotation,
                     float scale_x, float scale_y, bool flip_x, bool flip_y);

// printf into the list's memory resource; the text lives as long as the list's frame.
std::string_view draw_format(DrawList& list, const char* format, ...) __attribute__((format(printf, 2, 3)));

struct GlowText {
    std::string_view text;
    float x = 0;         // horizontal centre
    float y = 0;         // reference height; the main text sits 40 units above it
    int32_t font_size = 0;
    float time = 0;      // seconds; drives the pulse and the bob
    Color color{};
    Color glow_color{};  // alpha unused
};

// Appends four glow layers and the main text (five TEXT commands).
void draw_text_glow(DrawList& list, const GlowText& params);

} // namespace cog

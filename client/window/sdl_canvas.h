// The canvas of the game window: world units mapped through the letterbox onto an SDL renderer.
#pragma once

#include "client/picture/canvas.h"
#include "client/picture/viewport.h"
#include "client/window/sprite_textures.h"
#include "client/window/text_cache.h"

#include <SDL.h>

namespace cog::client {

class SdlCanvas final : public Canvas {
public:
    SdlCanvas(SDL_Renderer* renderer, const SpriteTextures& sprites, TextCache& texts, Viewport viewport)
        : renderer_(renderer), sprites_(sprites), texts_(texts), viewport_(viewport) {}

    void fill_rect(float x, float y, float width, float height, Color color) override;
    void text(float x, float y, std::string_view text, int font_size, Color color) override;
    void sprite(const SpritePlacement& placement) override;
    void circle(float centre_x, float centre_y, float radius, Color color) override;
    void line(float x1, float y1, float x2, float y2, float thickness, Color color) override;

private:
    SDL_FRect to_window(float x, float y, float width, float height) const;
    void draw_texture(SDL_Texture* texture, const SpritePlacement& placement);

    SDL_Renderer* renderer_;
    const SpriteTextures& sprites_;
    TextCache& texts_;
    Viewport viewport_;
};

} // namespace cog::client

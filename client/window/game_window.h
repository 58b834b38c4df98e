// The resizable game window with its renderer, font, sprite textures and text cache.
#pragma once

#include "client/window/sprite_textures.h"
#include "client/window/text_cache.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <memory>
#include <string>

namespace cog::client {

class GameWindow {
public:
    // nullptr with `error` set when SDL, the window, the renderer or the font cannot be had.
    static std::unique_ptr<GameWindow> open(const std::string& title, std::string& error);
    ~GameWindow();
    GameWindow(const GameWindow&) = delete;
    GameWindow& operator=(const GameWindow&) = delete;

    SDL_Window* window() const { return window_; }
    SDL_Renderer* renderer() const { return renderer_; }
    const SpriteTextures& sprites() const { return sprites_; }
    TextCache& texts() { return *texts_; }
    bool has_vsync() const;
    int refresh_hz() const; // 0 when the display does not say

private:
    GameWindow() = default;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    TTF_Font* font_ = nullptr;
    SpriteTextures sprites_;
    std::unique_ptr<TextCache> texts_;
};

} // namespace cog::client

// Drawing with the client's own painters and canvas on SDL's software renderer.
#include "replay/picture_png.h"

#include "client/window/frame_drawing.h"
#include "client/window/screenshot.h"
#include "client/window/sprite_textures.h"
#include "client/window/text_cache.h"
#include "shared/protocol/json.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <memory_resource>

namespace cog::replay {

const char* png_error_text(PngError error) {
    switch (error) {
    case PngError::None: return "ok";
    case PngError::NotAPicture: return "the message is not a picture";
    case PngError::NoRenderer: return "no software renderer";
    case PngError::NoFont: return "the game font (DejaVu Sans) was not found";
    case PngError::WriteFailed: return "the PNG could not be written";
    }
    return "?";
}

namespace {

// Draws with every text rendered at once: a still has no later frame to finish its texts in.
PngError draw_and_save(SDL_Renderer* renderer, TTF_Font* font, const ServerMessage& message, const std::string& path) {
    client::SpriteTextures sprites = client::create_sprite_textures(renderer);
    client::TextLimits limits;
    limits.new_texts_per_frame = 1 << 16;
    limits.new_pixels_per_frame = uint64_t{1} << 32;
    PngError result = PngError::None;
    {
        client::TextCache texts(renderer, font, limits);
        client::FrameScene scene;
        scene.picture = std::span<const DrawCommand>(message.commands.data(), message.commands.size());
        scene.has_picture = true;
        client::draw_frame(renderer, sprites, texts, scene);
        if (!client::save_screenshot(renderer, path)) result = PngError::WriteFailed;
    }
    client::destroy_sprite_textures(sprites);
    return result;
}

} // namespace

PngError save_picture_png(std::string_view body, const std::string& path, int width, int height) {
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    if (read_json(body, message, &arena) || message.kind != ServerMessageKind::DRAW_COMMANDS)
        return PngError::NotAPicture;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32);
    SDL_Renderer* renderer = surface ? SDL_CreateSoftwareRenderer(surface) : nullptr;
    PngError result = renderer ? PngError::None : PngError::NoRenderer;
    const bool ttf = result == PngError::None && TTF_Init() == 0;
    TTF_Font* font = ttf ? client::open_game_font() : nullptr;
    if (result == PngError::None && !font) result = PngError::NoFont;
    if (result == PngError::None) result = draw_and_save(renderer, font, message, path);
    if (font) TTF_CloseFont(font);
    if (ttf) TTF_Quit();
    if (renderer) SDL_DestroyRenderer(renderer);
    if (surface) SDL_FreeSurface(surface);
    return result;
}

} // namespace cog::replay

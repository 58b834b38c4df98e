// Rendered texts kept as white textures, tinted when drawn. The host sends the same texts every
// frame, so each is rendered once and reused until it has gone unused for a while.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cog::client {

struct TextTexture {
    SDL_Texture* texture = nullptr; // nullptr for an empty or unrenderable text
    int width = 0, height = 0;      // pixels
};

class TextCache {
public:
    TextCache(SDL_Renderer* renderer, TTF_Font* font) : renderer_(renderer), font_(font) {}
    ~TextCache();
    TextCache(const TextCache&) = delete;
    TextCache& operator=(const TextCache&) = delete;

    TextTexture get(std::string_view text, int pixel_size);
    // Call once per drawn frame; frees the textures not used for a second or so.
    void end_frame();

private:
    struct Entry {
        TextTexture text;
        uint64_t last_used_frame = 0;
    };
    TextTexture render(const std::string& text, int pixel_size);

    SDL_Renderer* renderer_;
    TTF_Font* font_;
    std::unordered_map<std::string, Entry> entries_; // key: size, a space, the text
    uint64_t frame_ = 0;
};

// DejaVu Sans from the system's fonts; nullptr (and SDL_ttf's error set) when it is missing.
TTF_Font* open_game_font();

} // namespace cog::client

// One texture per sprite identifier, made from the placeholder art, plus a disc for CIRCLE.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>

namespace cog::client {

inline constexpr size_t SPRITE_SLOTS = 32; // AssetId values 0..31

struct SpriteTextures {
    std::array<SDL_Texture*, SPRITE_SLOTS> by_asset{}; // nullptr where an id has no picture
    SDL_Texture* disc = nullptr;                       // white filled circle
};

SpriteTextures create_sprite_textures(SDL_Renderer* renderer);
void destroy_sprite_textures(SpriteTextures& textures);

} // namespace cog::client

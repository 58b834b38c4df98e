// Uploading the painted placeholders as blended textures.
#include "client/window/sprite_textures.h"

#include "client/art/art.h"

#include <cmath>

namespace cog::client {

namespace {

SDL_Texture* upload(SDL_Renderer* renderer, const ArtImage& image) {
    if (image.width == 0) return nullptr;
    SDL_Texture* texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, image.width, image.height);
    if (!texture) return nullptr;
    SDL_UpdateTexture(texture, nullptr, image.argb.data(), image.width * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    return texture;
}

ArtImage white_disc() {
    constexpr int S = 128;          // pixels
    constexpr float R = S / 2.0f;   // pixels
    ArtImage image{S, S, std::vector<uint32_t>(S * S)};
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            // One pixel of soft edge instead of a jagged rim.
            const float d = std::hypot(static_cast<float>(x) + 0.5f - R, static_cast<float>(y) + 0.5f - R);
            const float coverage = std::fmin(1.0f, std::fmax(0.0f, R - d));
            image.argb[static_cast<size_t>(y * S + x)] = static_cast<uint32_t>(coverage * 255) << 24 | 0xFFFFFFu;
        }
    return image;
}

} // namespace

SpriteTextures create_sprite_textures(SDL_Renderer* renderer) {
    SpriteTextures textures;
    for (size_t id = 0; id < SPRITE_SLOTS; ++id)
        textures.by_asset[id] = upload(renderer, paint_asset(static_cast<uint16_t>(id)));
    textures.disc = upload(renderer, white_disc());
    return textures;
}

void destroy_sprite_textures(SpriteTextures& textures) {
    for (SDL_Texture*& t : textures.by_asset) {
        if (t) SDL_DestroyTexture(t);
        t = nullptr;
    }
    if (textures.disc) SDL_DestroyTexture(textures.disc);
    textures.disc = nullptr;
}

} // namespace cog::client

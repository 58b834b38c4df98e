// One drawn frame: the letterboxed world with the host's picture (or a waiting screen) and the
// overlay over it, onto any SDL renderer.
#pragma once

#include "client/command_line.h"
#include "client/overlay.h"
#include "client/sprite_textures.h"
#include "client/text_cache.h"
#include "client/viewport.h"
#include "shared/protocol/messages.h"

#include <SDL.h>

#include <span>

namespace cog::client {

struct FrameScene {
    std::span<const DrawCommand> picture; // empty before the first picture
    bool has_picture = false;
    const Overlay* overlay = nullptr;
    const CommandLine* command_line = nullptr;
    WorldSize world;
};

// Draws into the renderer's target without presenting it.
void draw_frame(SDL_Renderer* renderer, const SpriteTextures& sprites, TextCache& texts, const FrameScene& scene);

} // namespace cog::client

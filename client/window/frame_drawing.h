// One drawn frame: the letterboxed world with the host's picture (or a waiting screen) and the
// overlay over it, onto any SDL renderer.
#pragma once

#include "client/picture/viewport.h"
#include "client/session/command_line.h"
#include "client/session/overlay.h"
#include "client/window/sprite_textures.h"
#include "client/window/text_cache.h"
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

// Saving what the renderer has drawn as a PNG file.
#pragma once

#include <SDL.h>

#include <string>

namespace cog::client {

// Reads the current frame back (call before presenting it). False when reading or writing failed.
bool save_screenshot(SDL_Renderer* renderer, const std::string& path);

} // namespace cog::client

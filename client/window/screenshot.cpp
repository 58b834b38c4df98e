// Frame read-back and PNG encoding with stb_image_write.
#include "client/window/screenshot.h"

#include <stb/stb_image_write.h>

#include <vector>

namespace cog::client {

bool save_screenshot(SDL_Renderer* renderer, const std::string& path) {
    int width = 0, height = 0;
    if (SDL_GetRendererOutputSize(renderer, &width, &height) != 0 || width <= 0 || height <= 0) return false;
    // Three bytes a pixel: some back-ends leave the alpha of the read-back undefined.
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGB24, pixels.data(), width * 3) != 0) return false;
    return stbi_write_png(path.c_str(), width, height, 3, pixels.data(), width * 3) != 0;
}

} // namespace cog::client

// One player's picture drawn as the game client draws it, off-screen, into a PNG file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cog::replay {

enum class PngError : uint8_t { None, NotAPicture, NoRenderer, NoFont, WriteFailed };
const char* png_error_text(PngError error);

// `body` is a DRAW_COMMANDS message as sent; the picture fills a `width` x `height` image,
// letterboxed like the client's window.
PngError save_picture_png(std::string_view body, const std::string& path, int width = 1280, int height = 720);

} // namespace cog::replay

// Text rendering through SDL_ttf, cached per text and pixel size.
#include "client/text_cache.h"

namespace cog::client {

namespace {
constexpr uint64_t KEEP_FRAMES = 90;       // a text unused this long is freed
constexpr uint64_t SWEEP_EVERY_FRAMES = 30;
constexpr int MAX_PIXEL_SIZE = 400;        // beyond this a glyph is larger than any window
constexpr const char* FONT_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
} // namespace

TTF_Font* open_game_font() { return TTF_OpenFont(FONT_PATH, 24); }

TextCache::~TextCache() {
    for (auto& [key, entry] : entries_)
        if (entry.text.texture) SDL_DestroyTexture(entry.text.texture);
}

TextTexture TextCache::get(std::string_view text, int pixel_size) {
    if (text.empty() || pixel_size < 1 || pixel_size > MAX_PIXEL_SIZE) return {};
    std::string key = std::to_string(pixel_size);
    key += ' ';
    key.append(text);
    auto found = entries_.find(key);
    if (found == entries_.end()) {
        // TTF renders up to the first NUL byte; the text part of the key is the whole text.
        TextTexture rendered = render(std::string(text), pixel_size);
        found = entries_.emplace(std::move(key), Entry{rendered, frame_}).first;
    }
    found->second.last_used_frame = frame_;
    return found->second.text;
}

TextTexture TextCache::render(const std::string& text, int pixel_size) {
    if (TTF_SetFontSize(font_, pixel_size) != 0) return {};
    SDL_Surface* surface = TTF_RenderUTF8_Blended(font_, text.c_str(), SDL_Color{255, 255, 255, 255});
    if (!surface) return {};
    TextTexture out;
    out.texture = SDL_CreateTextureFromSurface(renderer_, surface);
    out.width = surface->w;
    out.height = surface->h;
    SDL_FreeSurface(surface);
    if (out.texture) SDL_SetTextureBlendMode(out.texture, SDL_BLENDMODE_BLEND);
    return out;
}

void TextCache::end_frame() {
    ++frame_;
    if (frame_ % SWEEP_EVERY_FRAMES != 0) return;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (frame_ - it->second.last_used_frame > KEEP_FRAMES) {
            if (it->second.text.texture) SDL_DestroyTexture(it->second.text.texture);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace cog::client

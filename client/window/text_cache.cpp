// Text rendering through SDL_ttf, cached per text and pixel size with a byte cap.
#include "client/window/text_cache.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <functional>

namespace cog::client {

namespace {
constexpr uint64_t SWEEP_EVERY_FRAMES = 30;
constexpr size_t ENTRY_OVERHEAD = 128;      // bytes of bookkeeping per cached text
constexpr const char* FONT_FAMILY = "DejaVu Sans";
constexpr const char* FALLBACK_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The file fontconfig picks for a family, or empty.
std::string font_file(const char* family) {
    std::string path;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return path;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    if (pattern) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcChar8* file = nullptr;
        if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
            path = reinterpret_cast<const char*>(file);
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return path;
}

int largest_side(SDL_Renderer* renderer, int limit) {
    SDL_RendererInfo info{};
    if (renderer && SDL_GetRendererInfo(renderer, &info) == 0) {
        if (info.max_texture_width > 0) limit = std::min(limit, info.max_texture_width);
        if (info.max_texture_height > 0) limit = std::min(limit, info.max_texture_height);
    }
    return limit;
}
} // namespace

TTF_Font* open_game_font() {
    const std::string found = font_file(FONT_FAMILY);
    TTF_Font* font = found.empty() ? nullptr : TTF_OpenFont(found.c_str(), 24);
    return font ? font : TTF_OpenFont(FALLBACK_FONT, 24);
}

size_t TextCache::KeyHash::operator()(const KeyView& k) const noexcept {
    return std::hash<std::string_view>{}(k.text) ^ (static_cast<size_t>(k.size) * 0x9E3779B97F4A7C15ull);
}

TextCache::TextCache(SDL_Renderer* renderer, TTF_Font* font, const TextLimits& limits)
    : renderer_(renderer), font_(font), limits_(limits) {
    limits_.max_side = largest_side(renderer, limits.max_side);
}

TextCache::~TextCache() {
    for (auto& [key, entry] : entries_)
        if (entry.text.texture) SDL_DestroyTexture(entry.text.texture);
}

TextTexture TextCache::get(std::string_view text, int pixel_size) {
    if (text.empty() || pixel_size < 1 || pixel_size > limits_.max_pixel_size || text.size() > limits_.max_text_bytes)
        return {};
    const auto found = entries_.find(KeyView{pixel_size, text});
    if (found != entries_.end()) {
        found->second.last_used_frame = frame_;
        recency_.splice(recency_.begin(), recency_, found->second.lru);
        return found->second.text;
    }
    if (new_texts_ >= limits_.new_texts_per_frame) return {}; // a later frame renders it
    ++new_texts_;
    return make(text, pixel_size);
}

TextTexture TextCache::make(std::string_view text, int pixel_size) {
    const size_t key_bytes = ENTRY_OVERHEAD + text.size();
    // TTF reads up to the first NUL byte; the key keeps the whole text.
    const std::string terminated(text);
    int width = 0, height = 0;
    const bool measured =
        TTF_SetFontSize(font_, pixel_size) == 0 && TTF_SizeUTF8(font_, terminated.c_str(), &width, &height) == 0;
    if (!measured || width > limits_.max_side || height > limits_.max_side || width < 1 || height < 1) {
        // Cannot be drawn; remembered so that it is not measured again while it stays in use.
        if (make_room(key_bytes)) insert(text, pixel_size, {}, key_bytes);
        return {};
    }
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (new_pixels_ + pixels > limits_.new_pixels_per_frame && new_pixels_ > 0) return {}; // a later frame
    const size_t bytes = key_bytes + size_t(pixels) * 4;
    if (!make_room(bytes)) return {};
    new_pixels_ += pixels;
    SDL_Surface* surface = TTF_RenderUTF8_Blended(font_, terminated.c_str(), SDL_Color{255, 255, 255, 255});
    if (!surface) return {};
    TextTexture out;
    out.texture = SDL_CreateTextureFromSurface(renderer_, surface);
    out.width = surface->w;
    out.height = surface->h;
    SDL_FreeSurface(surface);
    if (out.texture) SDL_SetTextureBlendMode(out.texture, SDL_BLENDMODE_BLEND);
    insert(text, pixel_size, out, bytes);
    return out;
}

bool TextCache::make_room(size_t bytes) {
    // The textures of this frame are being drawn: they stay, and the new text waits instead.
    while (bytes_ + bytes > limits_.max_bytes) {
        if (recency_.empty()) return false;
        const auto lru = entries_.find(*recency_.back());
        if (lru->second.last_used_frame == frame_) return false;
        erase(lru);
    }
    return true;
}

void TextCache::insert(std::string_view text, int pixel_size, TextTexture texture, size_t bytes) {
    auto [it, added] = entries_.emplace(Key{pixel_size, std::string(text)}, Entry{texture, frame_, bytes, {}});
    if (!added) return;
    recency_.push_front(&it->first);
    it->second.lru = recency_.begin();
    bytes_ += bytes;
}

void TextCache::erase(Map::iterator it) {
    if (it == entries_.end()) return;
    if (it->second.text.texture) SDL_DestroyTexture(it->second.text.texture);
    bytes_ -= it->second.bytes;
    recency_.erase(it->second.lru);
    entries_.erase(it);
}

void TextCache::end_frame() {
    ++frame_;
    new_texts_ = 0;
    new_pixels_ = 0;
    if (frame_ % SWEEP_EVERY_FRAMES != 0) return;
    // The least recently used are at the back: stop at the first one still in use.
    while (!recency_.empty()) {
        const auto it = entries_.find(*recency_.back());
        if (frame_ - it->second.last_used_frame <= limits_.keep_frames) break;
        erase(it);
    }
}

} // namespace cog::client

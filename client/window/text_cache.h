// Rendered texts kept as white textures, tinted when drawn. The host sends the same texts every
// frame, so each is rendered once and reused. Whatever the host sends, the work and the memory
// are bounded: texts too long or too wide are refused, only a few new texts are rendered per
// frame, and the least recently used textures go when the cache reaches its byte cap.
#pragma once

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cog::client {

struct TextTexture {
    SDL_Texture* texture = nullptr; // nullptr for an empty, refused or not yet rendered text
    int width = 0, height = 0;      // pixels
};

struct TextLimits {
    size_t max_text_bytes = 512;            // a longer text is not drawn
    int max_pixel_size = 1024;              // pixels of line height
    int max_side = 8192;                    // pixels, or the renderer's largest texture if smaller
    size_t new_texts_per_frame = 32;        // measured or rendered; the rest wait for a later frame
    uint64_t new_pixels_per_frame = 4 << 20; // rendered per frame
    size_t max_bytes = 64 << 20;            // textures and keys held
    uint64_t keep_frames = 90;              // a text unused this long is freed
};

class TextCache {
public:
    TextCache(SDL_Renderer* renderer, TTF_Font* font, const TextLimits& limits = {});
    ~TextCache();
    TextCache(const TextCache&) = delete;
    TextCache& operator=(const TextCache&) = delete;

    TextTexture get(std::string_view text, int pixel_size);
    // Call once per drawn frame: renews the frame's budget and frees the textures left unused.
    void end_frame();

    size_t bytes() const { return bytes_; }
    size_t entries() const { return entries_.size(); }

private:
    struct Key {
        int size = 0;
        std::string text;
    };
    struct KeyView {
        int size = 0;
        std::string_view text;
    };
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(const KeyView& k) const noexcept;
        size_t operator()(const Key& k) const noexcept { return (*this)(KeyView{k.size, k.text}); }
    };
    struct KeyEqual {
        using is_transparent = void;
        static KeyView view(const Key& k) { return {k.size, k.text}; }
        static KeyView view(const KeyView& k) { return k; }
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const noexcept {
            return view(a).size == view(b).size && view(a).text == view(b).text;
        }
    };
    struct Entry {
        TextTexture text;
        uint64_t last_used_frame = 0;
        size_t bytes = 0;
        std::list<const Key*>::iterator lru; // place in recency order
    };
    using Map = std::unordered_map<Key, Entry, KeyHash, KeyEqual>;

    // Measures and renders a text not in the cache, and caches the result (a refusal too).
    TextTexture make(std::string_view text, int pixel_size);
    // Frees least recently used textures until `bytes` more fit; false when only textures drawn
    // in this frame are left to free.
    bool make_room(size_t bytes);
    void insert(std::string_view text, int pixel_size, TextTexture texture, size_t bytes);
    void erase(Map::iterator it);

    SDL_Renderer* renderer_;
    TTF_Font* font_;
    TextLimits limits_;
    Map entries_;
    std::list<const Key*> recency_; // most recently used first
    size_t bytes_ = 0;
    uint64_t frame_ = 0;
    size_t new_texts_ = 0;          // this frame
    uint64_t new_pixels_ = 0;       // this frame
};

// DejaVu Sans, found through fontconfig; nullptr (and SDL_ttf's error set) when there is none.
TTF_Font* open_game_font();

} // namespace cog::client

// Draw-command helpers.
#include "shared/types/draw.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace cog {

void draw_rect(DrawList& list, float x, float y, float width, float height, Color color) {
    DrawCommand& c = list.emplace_back();
    c.kind = DrawCommandKind::RECT;
    c.x = x;
    c.y = y;
    c.width = width;
    c.height = height;
    c.color = color;
}

void draw_text(DrawList& list, float x, float y, std::string_view text, int font_size, Color color) {
    DrawCommand& c = list.emplace_back();
    c.kind = DrawCommandKind::TEXT;
    c.x = x;
    c.y = y;
    c.text = text;
    c.font_size = font_size;
    c.color = color;
}

void draw_sprite(DrawList& list, AssetId asset, float x, float y, float width, float height, Color color) {
    DrawCommand& c = list.emplace_back();
    c.kind = DrawCommandKind::SPRITE;
    c.x = x;
    c.y = y;
    c.width = width;
    c.height = height;
    c.color = color;
    c.asset_id = static_cast<uint16_t>(asset);
    c.scale_x = 1;
    c.scale_y = 1;
}

void draw_sprite_pro(DrawList& list, AssetId asset, float x, float y, Color color, float rotation,
                     float scale_x, float scale_y, bool flip_x, bool flip_y) {
    DrawCommand& c = list.emplace_back();
    c.kind = DrawCommandKind::SPRITE_PRO;
    c.x = x;
    c.y = y;
    c.color = color;
    c.asset_id = static_cast<uint16_t>(asset);
    c.rotation = rotation;
    c.scale_x = scale_x;
    c.scale_y = scale_y;
    c.flip_x = flip_x;
    c.flip_y = flip_y;
}

namespace {

// Whether every conversion in `format` is a plain %d, %i, %u, %s, %c or %%: the forms the
// pictures' texts use, which format_plain writes without printf (the hot path of every picture).
bool plain_format(const char* format) {
    for (const char* f = format; *f; ++f) {
        if (*f != '%') continue;
        ++f;
        if (!*f || !std::strchr("diusc%", *f)) return false;
    }
    return true;
}

// Formats a plain format into `out` (capacity bytes); the length written, or -1 when it does not fit.
int format_plain(char* out, size_t capacity, const char* format, va_list args) {
    size_t n = 0;
    auto put = [&](const char* text, size_t length) {
        if (n + length >= capacity) return false;
        std::memcpy(out + n, text, length);
        n += length;
        return true;
    };
    for (const char* f = format; *f; ++f) {
        bool fits = true;
        if (*f != '%') {
            fits = put(f, 1);
        } else {
            char digits[24];
            switch (*++f) {
            case 'd':
            case 'i': {
                const auto r = std::to_chars(digits, digits + sizeof digits, va_arg(args, int));
                fits = put(digits, static_cast<size_t>(r.ptr - digits));
                break;
            }
            case 'u': {
                const auto r = std::to_chars(digits, digits + sizeof digits, va_arg(args, unsigned));
                fits = put(digits, static_cast<size_t>(r.ptr - digits));
                break;
            }
            case 's': {
                const char* text = va_arg(args, const char*);
                fits = put(text, std::strlen(text));
                break;
            }
            case 'c': {
                const char c = static_cast<char>(va_arg(args, int));
                fits = put(&c, 1);
                break;
            }
            default: fits = put("%", 1); break;
            }
        }
        if (!fits) return -1;
    }
    out[n] = '\0';
    return static_cast<int>(n);
}

} // namespace

std::string_view draw_format(DrawList& list, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    char probe[256];
    int n = plain_format(format) ? format_plain(probe, sizeof probe, format, args) : -1;
    if (n < 0) {
        va_end(args);
        va_copy(args, copy);
        n = std::vsnprintf(probe, sizeof probe, format, args);
    }
    va_end(args);
    if (n <= 0) {
        va_end(copy);
        return {};
    }
    std::pmr::memory_resource* arena = list.get_allocator().resource();
    char* bytes = static_cast<char*>(arena->allocate(static_cast<size_t>(n) + 1, 1));
    if (static_cast<size_t>(n) < sizeof probe) {
        std::memcpy(bytes, probe, static_cast<size_t>(n) + 1);
    } else {
        std::vsnprintf(bytes, static_cast<size_t>(n) + 1, format, copy);
    }
    va_end(copy);
    return {bytes, static_cast<size_t>(n)};
}

void draw_text_glow(DrawList& list, const GlowText& p) {
    const float length = static_cast<float>(p.text.size());
    const int size = static_cast<int>(static_cast<float>(p.font_size) * (std::sin(2.0f * p.time) * 0.05f + 1.0f));
    const float bob = static_cast<float>(static_cast<int>(std::sin(1.5f * p.time) * 8.0f));
    const float yb = p.y + bob;
    for (int k = 1; k <= 4; ++k) {
        const int glow_size = size + 2 * k;
        const Color glow{p.glow_color[0], p.glow_color[1], p.glow_color[2], static_cast<uint8_t>(32 - 8 * (k - 1))};
        draw_text(list, p.x - static_cast<float>(glow_size) * length / 6.0f, yb - 30.0f - static_cast<float>(k),
                  p.text, glow_size, glow);
    }
    draw_text(list, p.x - static_cast<float>(size) * length / 6.0f, yb - 40.0f, p.text, size, p.color);
}

} // namespace cog

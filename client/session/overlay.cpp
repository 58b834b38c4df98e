// Chat lines, command field and status banner over the picture.
#include "client/session/overlay.h"

#include <algorithm>

namespace cog::client {

namespace {
constexpr Color PANEL{0, 0, 0, 170};
constexpr Color CHAT_TEXT{255, 240, 160, 255};
constexpr Color FIELD_TEXT{255, 255, 255, 255};
constexpr Color STATUS_PANEL{120, 20, 20, 220};
constexpr int CHAT_FONT = 20;  // world units
constexpr float CHAT_LINE_H = 26; // world units
constexpr float CHAT_CHAR_W = 11; // rough width of a character at CHAT_FONT, for the panel
constexpr float STATUS_H = 80;    // world units
constexpr float FIELD_H = 40;     // world units

// At most `max_bytes`, cut before a UTF-8 continuation byte so no letter is split.
std::string_view cut_utf8(std::string_view text, size_t max_bytes) {
    if (text.size() <= max_bytes) return text;
    size_t end = max_bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}
} // namespace

double chat_show_seconds(size_t bytes) {
    const double reading = 2 + static_cast<double>(bytes) / CHAT_READ_BYTES_PER_S;
    return std::clamp(reading, CHAT_SHOW_S, CHAT_SHOW_MAX_S);
}

void add_chat_line(Overlay& overlay, std::string_view text, double now_s) {
    const double expires_s = now_s + chat_show_seconds(text.size());
    // Answers such as "info" come as several lines in one message; the font has no glyph for '\n'.
    // Lines that would be pushed out at once are never copied.
    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    size_t skip = lines > CHAT_MAX_LINES ? lines - CHAT_MAX_LINES : 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        if (skip > 0) {
            --skip;
        } else {
            overlay.chat.push_back({std::string(cut_utf8(text.substr(start, end - start), CHAT_LINE_MAX_BYTES)),
                                    expires_s});
        }
        start = end + 1;
    }
    while (overlay.chat.size() > CHAT_MAX_LINES) overlay.chat.pop_front();
}

void drop_expired(Overlay& overlay, double now_s) {
    while (!overlay.chat.empty() && overlay.chat.front().expires_s <= now_s) overlay.chat.pop_front();
}

void draw_overlay(const Overlay& overlay, const CommandLine& line, WorldSize world, Canvas& canvas) {
    float y = 10;
    for (const ChatLine& chat : overlay.chat) {
        canvas.fill_rect(10, y, 20 + CHAT_CHAR_W * static_cast<float>(chat.text.size()), CHAT_LINE_H, PANEL);
        canvas.text(20, y + 2, chat.text, CHAT_FONT, CHAT_TEXT);
        y += CHAT_LINE_H + 4;
    }
    if (!overlay.status.empty()) {
        const float top = world.height / 2 - STATUS_H / 2;
        canvas.fill_rect(0, top, world.width, STATUS_H, STATUS_PANEL);
        canvas.text(40, top + 25, overlay.status, 28, FIELD_TEXT);
    }
    if (line.open) {
        canvas.fill_rect(0, world.height - FIELD_H, world.width, FIELD_H, PANEL);
        canvas.text(12, world.height - FIELD_H + 8, line.shown, 22, FIELD_TEXT);
    }
}

} // namespace cog::client

// Chat lines, command field and status banner over the picture.
#include "client/overlay.h"

#include "client/viewport.h"

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
} // namespace

void add_chat_line(Overlay& overlay, std::string text, double now_s) {
    // Answers such as "info" come as several lines in one message; the font has no glyph for '\n'.
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        overlay.chat.push_back({text.substr(start, end - start), now_s + CHAT_SHOW_S});
        start = end + 1;
    }
    while (overlay.chat.size() > CHAT_MAX_LINES) overlay.chat.pop_front();
}

void drop_expired(Overlay& overlay, double now_s) {
    while (!overlay.chat.empty() && overlay.chat.front().expires_s <= now_s) overlay.chat.pop_front();
}

void draw_overlay(const Overlay& overlay, const CommandLine& line, Canvas& canvas) {
    float y = 10;
    for (const ChatLine& chat : overlay.chat) {
        canvas.fill_rect(10, y, 20 + CHAT_CHAR_W * static_cast<float>(chat.text.size()), CHAT_LINE_H, PANEL);
        canvas.text(20, y + 2, chat.text, CHAT_FONT, CHAT_TEXT);
        y += CHAT_LINE_H + 4;
    }
    if (!overlay.status.empty()) {
        canvas.fill_rect(0, 320, WORLD_W, 80, STATUS_PANEL);
        canvas.text(40, 345, overlay.status, 28, FIELD_TEXT);
    }
    if (line.open) {
        canvas.fill_rect(0, 680, WORLD_W, 40, PANEL);
        canvas.text(12, 688, "> " + line.text + "_", 22, FIELD_TEXT);
    }
}

} // namespace cog::client

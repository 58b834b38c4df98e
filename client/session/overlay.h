// What the client draws over the host's picture: recent chat answers, the command line, the
// connection status. Drawn in world units so it scales with the picture.
#pragma once

#include "client/picture/canvas.h"
#include "client/picture/viewport.h"
#include "client/session/command_line.h"

#include <deque>
#include <string>
#include <string_view>

namespace cog::client {

inline constexpr double CHAT_SHOW_S = 6;   // seconds a chat line stays
inline constexpr size_t CHAT_MAX_LINES = 10;
inline constexpr size_t CHAT_LINE_MAX_BYTES = 160; // a longer line is cut (it would leave the window)

struct ChatLine {
    std::string text;
    double expires_s = 0; // client clock, seconds
};

struct Overlay {
    std::deque<ChatLine> chat;
    std::string status; // e.g. the lost connection; empty when all is well
};

// A text with line breaks becomes one chat line per line; only the lines that can stay are kept.
void add_chat_line(Overlay& overlay, std::string_view text, double now_s);
void drop_expired(Overlay& overlay, double now_s);
void draw_overlay(const Overlay& overlay, const CommandLine& line, WorldSize world, Canvas& canvas);

} // namespace cog::client

// What the client draws over the host's picture: recent chat answers, the command line, the
// connection status. Drawn in world units so it scales with the picture.
#pragma once

#include "client/canvas.h"
#include "client/command_line.h"

#include <deque>
#include <string>

namespace cog::client {

inline constexpr double CHAT_SHOW_S = 6;   // seconds a chat line stays
inline constexpr size_t CHAT_MAX_LINES = 10;

struct ChatLine {
    std::string text;
    double expires_s = 0; // client clock, seconds
};

struct Overlay {
    std::deque<ChatLine> chat;
    std::string status; // e.g. the lost connection; empty when all is well
};

// A text with line breaks becomes one chat line per line.
void add_chat_line(Overlay& overlay, std::string text, double now_s);
void drop_expired(Overlay& overlay, double now_s);
void draw_overlay(const Overlay& overlay, const CommandLine& line, Canvas& canvas);

} // namespace cog::client

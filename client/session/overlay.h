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

inline constexpr double CHAT_SHOW_S = 6;   // seconds a short chat message stays
inline constexpr double CHAT_SHOW_MAX_S = 20; // seconds the longest message stays
inline constexpr double CHAT_READ_BYTES_PER_S = 15; // reading speed a longer message is given
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

// Seconds a message of `bytes` stays: CHAT_SHOW_S, or 2 s and the time to read it if that is
// longer, at most CHAT_SHOW_MAX_S.
double chat_show_seconds(size_t bytes);

// A text with line breaks becomes one chat line per line, all staying as long as the whole
// message takes to read; only the lines that can stay are kept.
void add_chat_line(Overlay& overlay, std::string_view text, double now_s);
void drop_expired(Overlay& overlay, double now_s);
void draw_overlay(const Overlay& overlay, const CommandLine& line, WorldSize world, Canvas& canvas);

} // namespace cog::client

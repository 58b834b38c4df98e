// Everything one running client holds between frames.
#pragma once

#include "client/command_line.h"
#include "client/connection.h"
#include "client/key_tracker.h"
#include "client/options.h"
#include "client/overlay.h"
#include "client/session.h"
#include "client/viewport.h"

namespace cog::client {

inline constexpr double RECONNECT_EVERY_S = 1;  // seconds between attempts after a lost connection
inline constexpr int CONNECT_TIMEOUT_MS = 250;  // a reconnection attempt may hold a frame this long

struct ClientState {
    ClientOptions options;
    Connection connection;
    Session session;
    Overlay overlay;
    CommandLine command_line;
    KeyTracker keys;
    Point mouse_world;               // world units
    double next_connect_s = 0;       // client clock, seconds
    bool quit = false;
    bool screenshot_requested = false; // F12: save the next frame as a PNG
    int screenshots_saved = 0;
    // The backquote that opens the command line may also arrive as typed text, in the same
    // frame; that one character is dropped, and nothing typed after it.
    bool drop_backquote_this_frame = false;
};

} // namespace cog::client

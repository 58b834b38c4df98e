// Everything one running client holds between frames.
#pragma once

#include "client/net/connection.h"
#include "client/picture/viewport.h"
#include "client/session/command_line.h"
#include "client/session/host_reader.h"
#include "client/session/key_tracker.h"
#include "client/session/options.h"
#include "client/session/overlay.h"
#include "client/session/session.h"

#include <optional>

namespace cog::client {

inline constexpr double RECONNECT_EVERY_S = 1;   // seconds between attempts after a lost connection
inline constexpr double CONNECT_TIMEOUT_S = 3;   // a handshake not finished by then is given up
inline constexpr double HOST_SILENT_S = 2;       // no message for this long: the host is not responding

inline constexpr const char* STATUS_LOST = "Connection to the host lost - reconnecting...";
inline constexpr const char* STATUS_SILENT = "Host not responding";

struct ClientState {
    ClientOptions options;
    HostAddress host_address;        // looked up once, at start-up
    Connection connection;
    HostReader reader;
    Session session;
    Overlay overlay;
    CommandLine command_line;
    KeyTracker keys;
    Point mouse_world;               // world units
    std::optional<InputState> held_input; // snapshots not sent while the host does not read, merged
    double next_connect_s = 0;       // client clock, seconds
    double connect_deadline_s = 0;   // client clock: the running attempt is given up then
    bool quit = false;
    bool screenshot_requested = false; // F12: save the next frame as a PNG
    int screenshots_saved = 0;
    // The backquote that opens the command line may also arrive as typed text, in the same
    // frame; that one character is dropped, and nothing typed after it.
    bool drop_backquote_this_frame = false;
};

} // namespace cog::client

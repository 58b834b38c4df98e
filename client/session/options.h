// The client's command line: who to be, where the host is and how to reach it, and an optional
// timed screenshot.
#pragma once

#include "client/net/transport.h"

#include <cstdint>
#include <string>

namespace cog::client {

inline constexpr const char* DEFAULT_HOST = "127.0.0.1";
inline constexpr uint16_t DEFAULT_WEB_PORT = 8080; // the host's HTTP + WebSocket port
inline constexpr uint16_t DEFAULT_TCP_PORT = 5556; // the host's plain game port (--tcp)

struct ClientOptions {
    std::string name;
    std::string host = DEFAULT_HOST;
    TransportKind transport = TransportKind::WebSocket;
    uint16_t port = DEFAULT_WEB_PORT;   // of the chosen transport
    bool tls = false;                   // wss:// to a host serving its web port over TLS
    bool insecure = false;              // with tls: accept a self-signed or otherwise unchecked certificate
    std::string room;                   // through a front door (--host, --port name it): the room's code
    std::string screenshot_path;        // empty: play until the window is closed
    double screenshot_after_s = 0;      // seconds after start-up
};

enum class OptionsResult { Run, Help, Bad };

struct ParsedOptions {
    ClientOptions options;
    OptionsResult result = OptionsResult::Run;
    std::string error; // one line, set when result is Bad
};

ParsedOptions parse_options(int argc, const char* const* argv);

// The text --help prints.
const char* usage_text();

} // namespace cog::client

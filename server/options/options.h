// The host's command-line options and their environment twins, declared once as a table that
// drives parsing and the usage text alike.
#pragma once

#include "server/fleet/sidecar_calls.h"
#include "server/network/connections.h"
#include "server/web/trusted_proxies.h"
#include "server/web/web_endpoint.h"
#include "shared/log/log.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cog {

inline constexpr uint16_t DEFAULT_PORT = 5556;
inline constexpr uint16_t DEFAULT_WEB_PORT = 8080;

// Who may use the debug commands (push, pop, reset, role, ...). OPEN: every player, as among
// friends on one network; ADMIN: only players who presented the room's admin token; OFF: nobody.
enum class DebugCommandsMode : uint8_t { OPEN, ADMIN, OFF };

// "open", "admin", "off": the words the option takes.
const char* debug_commands_mode_name(DebugCommandsMode mode);

struct HostOptions {
    uint16_t port = DEFAULT_PORT;         // TCP game port; 0: any free port (tests)
    uint16_t web_port = DEFAULT_WEB_PORT; // HTTP + WebSocket port; 0: no web endpoint
    std::string web_root;                 // the browser client's files; empty: "web" beside the program
    DebugCommandsMode debug_commands = DebugCommandsMode::OPEN;
    bool agones = false;     // report to the fleet manager's sidecar
    uint16_t agones_port = DEFAULT_SIDECAR_PORT; // the sidecar's HTTP port on localhost
    int idle_shutdown_s = 60; // a room emptied after a game asks to be replaced after this long
    int allocated_timeout_s = 300; // an allocated room unused this long asks to be replaced
    ListApi agones_list_api = ListApi::BETA; // where the sidecar serves the player List
    LogLevel log_level = LogLevel::Debug; // lines below it are not written; Debug: everything
    uint32_t max_players_per_address = 16; // seated humans from one address; 0: no limit
    std::string record_path; // empty: no recording
    // Per-address limits; 0 lifts each.
    unsigned handshakes_per_address = web::DEFAULT_HANDSHAKES_PER_ADDRESS; // web port, not yet WebSockets
    unsigned tls_per_address_second = web::DEFAULT_TLS_SOCKETS_PER_ADDRESS_SECOND; // new TLS sockets a second
    size_t pending_logins_per_address = DEFAULT_PENDING_LOGINS_PER_ADDRESS; // either port, before LOGIN
    std::vector<std::string> allowed_origins; // pages elsewhere whose WebSockets are accepted; "*": any
    uint64_t record_max_bytes = uint64_t{1} << 30; // the recording's file ends before growing past this
    std::string tls_certificate; // with tls_key: the web port serves HTTPS and WSS; both empty: plain
    std::string tls_key;
    // Front doors whose connections name their player in a PROXY header; empty: none, and no
    // connection is read for one.
    std::vector<web::TrustedNet> trusted_proxies;
    uint16_t metrics_port = 0; // Prometheus metrics over HTTP; 0: none
};

enum class OptionsError : uint8_t { None, Help, UnknownOption, MissingValue, BadValue };

struct ParsedOptions {
    OptionsError error = OptionsError::None;
    HostOptions options;
    std::string message; // what was wrong, for the usage error; empty on success
};

// Reads the environment twins first (through `get_env`, so tests need not touch the process
// environment), then the arguments, which win.
using GetEnv = const char* (*)(const char* name);
ParsedOptions parse_host_options(int argc, const char* const* argv, GetEnv get_env);

// "Usage: ..." with one line per option.
std::string host_usage(std::string_view program);

} // namespace cog

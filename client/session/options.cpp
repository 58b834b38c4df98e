// Parsing of the client's command line into ClientOptions, with one-line errors.
#include "client/session/options.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace cog::client {

namespace {

bool parse_port(std::string_view text, uint16_t& port) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value == 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool parse_seconds(const std::string& text, double& seconds) {
    try {
        size_t used = 0;
        seconds = std::stod(text, &used);
        return used == text.size() && std::isfinite(seconds) && seconds >= 0;
    } catch (...) {
        return false;
    }
}

// A room's code goes into the request path: letters and digits only, and short.
bool valid_room(const std::string& code) {
    constexpr size_t LONGEST = 16;
    if (code.empty() || code.size() > LONGEST) return false;
    for (const char c : code)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

ParsedOptions bad(std::string error) {
    ParsedOptions parsed;
    parsed.result = OptionsResult::Bad;
    parsed.error = std::move(error);
    return parsed;
}

} // namespace

const char* usage_text() {
    return "Usage: cogwell-client --name NAME [--host ADDR] [--port PORT] [--tcp | --tls [--insecure]] [--room CODE] [--screenshot FILE --after SECONDS]\n"
           "  --name NAME          the name the other players see (required)\n"
           "  --host ADDR          the host's IPv4 address or host name (default 127.0.0.1)\n"
           "  --port PORT          the host's port: its WebSocket (web) port, default 8080, or with --tcp its\n"
           "                       game port, default 5556\n"
           "  --tcp                plain TCP to the game port instead of the compressed WebSocket\n"
           "  --tls                the WebSocket over TLS (wss://), for a host started with --tls-cert\n"
           "  --insecure           with --tls: accept a certificate nobody vouches for (a self-signed test one)\n"
           "  --room CODE          join room CODE through a front door (cogwell-door), whose address --host and\n"
           "                       --port name: the WebSocket goes to /r/CODE/play there\n"
           "  --screenshot FILE    save a PNG of the window after --after SECONDS, then exit\n"
           "  --help               show this text\n"
           "Keys: arrows and SPACE as the game says, letters type, F1 or ` opens the command line, F12 saves a screenshot.\n";
}

ParsedOptions parse_options(int argc, const char* const* argv) {
    ParsedOptions parsed;
    bool has_after = false;
    bool has_port = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            parsed.result = OptionsResult::Help;
            return parsed;
        }
        if (flag == "--tcp") {
            parsed.options.transport = TransportKind::Tcp;
            continue;
        }
        if (flag == "--tls" || flag == "--insecure") {
            (flag == "--tls" ? parsed.options.tls : parsed.options.insecure) = true;
            continue;
        }
        if (flag != "--name" && flag != "--host" && flag != "--port" && flag != "--screenshot" && flag != "--after" &&
            flag != "--room")
            return bad("unknown option '" + std::string(flag) + "' (try --help)");
        if (i + 1 >= argc) return bad("option " + std::string(flag) + " needs a value");
        const std::string value = argv[++i];
        if (flag == "--name") {
            parsed.options.name = value;
        } else if (flag == "--host") {
            parsed.options.host = value;
        } else if (flag == "--port") {
            if (!parse_port(value, parsed.options.port)) return bad("bad port '" + value + "': expected 1 to 65535");
            has_port = true;
        } else if (flag == "--room") {
            if (!valid_room(value)) return bad("bad room code '" + value + "': expected letters and digits");
            parsed.options.room = value;
        } else if (flag == "--screenshot") {
            parsed.options.screenshot_path = value;
        } else {
            if (!parse_seconds(value, parsed.options.screenshot_after_s))
                return bad("bad --after '" + value + "': expected a number of seconds");
            has_after = true;
        }
    }
    if (!has_port && parsed.options.transport == TransportKind::Tcp) parsed.options.port = DEFAULT_TCP_PORT;
    if (parsed.options.tls && parsed.options.transport == TransportKind::Tcp)
        return bad("--tls is for the WebSocket; the TCP game port has no TLS");
    if (!parsed.options.room.empty() && parsed.options.transport == TransportKind::Tcp)
        return bad("--room goes through a front door's WebSocket, not --tcp");
    if (parsed.options.insecure && !parsed.options.tls) return bad("--insecure goes with --tls");
    if (parsed.options.name.empty()) return bad("missing --name NAME (try --help)");
    if (parsed.options.screenshot_path.empty() != !has_after)
        return bad("--screenshot FILE and --after SECONDS go together");
    return parsed;
}

} // namespace cog::client

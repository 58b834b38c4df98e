// Reading the door's options.
#include "door/door_options.h"

#include "door/static_rooms.h"

#include <charconv>
#include <cstdlib>

namespace cog::door {

namespace {

bool parse_int(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
    out = value;
    return true;
}

} // namespace

std::string door_usage(int cores) {
    return "Usage: cogwell-door [OPTIONS]\n"
           "One address where a group makes a room and shares its link; each room is a cogwell-host.\n"
           "  --port N                 HTTP and WebSocket port (default 8080)\n"
           "  --web-root DIR           the browser client's files (default: web beside the program)\n"
           "  --tls-cert FILE          PEM certificate (chain): serve HTTPS and WSS (or COGWELL_TLS_CERT)\n"
           "  --tls-key FILE           PEM private key of --tls-cert (or COGWELL_TLS_KEY)\n"
           "  --rooms local            where rooms run: cogwell-host processes on this machine (default)\n"
           "  --rooms agones           or GameServers allocated from an Agones fleet (the door in a pod)\n"
           "  --fleet NAME, --namespace NS, --room-label KEY, --web-port-name NAME, --k8s-api URL\n"
           "                           with agones: the fleet (cogwell), its namespace (the pod's), the\n"
           "                           label holding a code (cogwell.dev/room), the rooms' web port's name\n"
           "                           (web), the API server (the pod's)\n"
           "  --max-rooms N            rooms at once (default 8 per core: " + std::to_string(8 * cores) + " here)\n"
           "  --room-idle SECONDS      a room without players this long is stopped (default 300)\n"
           "  --host-binary FILE       the room program (default: cogwell-host beside the program)\n"
           "  --log-level debug|info|warn|error   the least important lines written (default info)\n"
           "  --metrics-port N         serve Prometheus metrics at http://HOST:N/metrics (default 0: off)\n"
           "  --print-qr TEXT          print TEXT as a QR code for a terminal and exit\n"
           "  --rooms-without-proxy-header   for tests against a host that cannot read the PROXY header:\n"
           "                           its rooms are not told to trust the door and see it as the player\n"
           "  --static-room CODE=HOST:PORT   for benchmarks and tests: CODE's WebSocket is passed to a\n"
           "                           room at HOST:PORT the door did not make (repeatable)\n";
}

DoorOptionsResult parse_door_options(const std::vector<std::string_view>& args, DoorOptions& out) {
    if (const char* cert = std::getenv("COGWELL_TLS_CERT")) out.tls_certificate = cert;
    if (const char* key = std::getenv("COGWELL_TLS_KEY")) out.tls_key = key;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view flag = args[i], value;
        bool has_value = false;
        if (const size_t eq = flag.find('='); flag.starts_with("--") && eq != std::string_view::npos) {
            value = flag.substr(eq + 1);
            flag = flag.substr(0, eq);
            has_value = true;
        }
        if (flag == "--help" || flag == "-h") return {DoorOptionsError::Help, ""};
        if (flag == "--rooms-without-proxy-header") {
            out.proxy_header = false;
            continue;
        }
        static constexpr std::string_view WITH_VALUE[] = {"--port", "--web-root", "--tls-cert", "--tls-key", "--rooms",
                                                          "--max-rooms", "--room-idle", "--host-binary",
                                                          "--log-level", "--print-qr", "--k8s-api", "--fleet",
                                                          "--namespace", "--room-label", "--web-port-name", "--k8s-token",
                                                          "--static-room", "--metrics-port"};
        bool known = false;
        for (auto name : WITH_VALUE) known = known || name == flag;
        if (!known) return {DoorOptionsError::UnknownOption, "unknown option " + std::string(flag)};
        if (!has_value) {
            if (i + 1 >= args.size()) return {DoorOptionsError::MissingValue, std::string(flag) + " needs a value"};
            value = args[++i];
        }
        bool ok = !value.empty();
        int number = 0;
        if (flag == "--port") {
            ok = parse_int(value, 0, 65535, number);
            out.port = static_cast<uint16_t>(number);
        } else if (flag == "--metrics-port") {
            ok = parse_int(value, 0, 65535, number);
            out.metrics_port = static_cast<uint16_t>(number);
        } else if (flag == "--web-root") out.web_root = value;
        else if (flag == "--tls-cert") out.tls_certificate = value;
        else if (flag == "--tls-key") out.tls_key = value;
        else if (flag == "--rooms") {
            ok = value == "local" || value == "agones";
            out.rooms = value;
        } else if (flag == "--max-rooms") ok = parse_int(value, 1, 100000, out.max_rooms);
        else if (flag == "--room-idle") ok = parse_int(value, 1, 86400 * 7, out.room_idle_s);
        else if (flag == "--host-binary") out.host_binary = value;
        else if (flag == "--log-level") {
            ok = value == "debug" || value == "info" || value == "warn" || value == "error";
            out.log_level = value;
        } else if (flag == "--print-qr") out.print_qr = value;
        else if (flag == "--static-room") {
            ok = parse_static_room(value).has_value();
            out.static_rooms.emplace_back(value);
        } else out.agones.emplace_back(flag, value);
        if (!ok) return {DoorOptionsError::InvalidValue, "invalid value '" + std::string(value) + "' for " + std::string(flag)};
    }
    if (out.tls_certificate.empty() != out.tls_key.empty())
        return {DoorOptionsError::MissingValue, "--tls-cert and --tls-key go together"};
    return {};
}

} // namespace cog::door

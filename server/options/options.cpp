// Parsing the host's options from its table.
#include "server/options/options.h"

#include <algorithm>
#include <charconv>
#include <span>

namespace cog {

namespace {

bool parse_port(std::string_view text, uint16_t& port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool parse_seconds(std::string_view text, int& seconds) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    return error == std::errc() && end == text.data() + text.size() && seconds >= 0;
}

template <typename Count>
bool parse_count(std::string_view text, Count& count) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    return error == std::errc() && end == text.data() + text.size();
}

// A count of bytes, with an optional K, M or G (binary multiples); at least 1.
bool parse_bytes(std::string_view text, uint64_t& bytes) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value == 0) return false;
    const std::string_view unit = text.substr(static_cast<size_t>(end - text.data()));
    const int shift = unit.empty() ? 0 : unit == "K" ? 10 : unit == "M" ? 20 : unit == "G" ? 30 : -1;
    if (shift < 0 || value > (UINT64_MAX >> shift)) return false;
    bytes = value << shift;
    return true;
}

// The words an option takes and what each one means.
template <typename T>
struct Named {
    std::string_view name;
    T value;
};

constexpr Named<DebugCommandsMode> DEBUG_MODE_NAMES[] = {
    {"open", DebugCommandsMode::OPEN},
    {"admin", DebugCommandsMode::ADMIN},
    {"off", DebugCommandsMode::OFF},
};

constexpr Named<ListApi> LIST_API_NAMES[] = {
    {list_api_name(ListApi::BETA), ListApi::BETA},
    {list_api_name(ListApi::ALPHA), ListApi::ALPHA},
};

constexpr Named<LogLevel> LOG_LEVEL_NAMES[] = {
    {"debug", LogLevel::Debug}, {"info", LogLevel::Info}, {"warn", LogLevel::Warning}, {"error", LogLevel::Error}};

template <typename T, size_t N>
bool parse_named(std::string_view text, const Named<T> (&names)[N], T& out) {
    for (const Named<T>& entry : names) {
        if (text != entry.name) continue;
        out = entry.value;
        return true;
    }
    return false;
}

struct OptionSpec {
    std::string_view flag;
    std::string_view value_name; // empty: a switch that takes no value
    const char* env;             // nullptr: no environment twin; for a switch, being set turns it on
    std::string_view help;
    bool (*apply)(HostOptions& options, std::string_view value); // false: the value is invalid
};

constexpr OptionSpec OPTIONS[] = {
    {"--port", "N", nullptr, "TCP game port (default 5556)",
     [](HostOptions& o, std::string_view v) { return parse_port(v, o.port); }},
    {"--web-port", "N", "COGWELL_WEB_PORT", "HTTP and WebSocket port for browsers (default 8080, 0 turns it off)",
     [](HostOptions& o, std::string_view v) { return parse_port(v, o.web_port); }},
    {"--web-root", "DIR", nullptr, "folder of the browser client's files (default: web beside the program)",
     [](HostOptions& o, std::string_view v) {
         o.web_root = std::string(v);
         return !v.empty();
     }},
    {"--debug-commands", "open|admin|off", "COGWELL_DEBUG_COMMANDS",
     "who may use the debug commands (default open: everybody)",
     [](HostOptions& o, std::string_view v) { return parse_named(v, DEBUG_MODE_NAMES, o.debug_commands); }},
    {"--agones", "", "AGONES_SDK_HTTP_PORT", "report to the Agones sidecar (on when its variable is set)",
     [](HostOptions& o, std::string_view) { return o.agones = true; }},
    {"--agones-port", "N", "AGONES_SDK_HTTP_PORT", "the Agones sidecar's HTTP port on localhost (default 9358)",
     [](HostOptions& o, std::string_view v) { return parse_port(v, o.agones_port); }},
    {"--idle-shutdown", "SECONDS", "COGWELL_IDLE_SHUTDOWN",
     "with --agones: a room left empty this long after a game asks to be replaced (default 60)",
     [](HostOptions& o, std::string_view v) { return parse_seconds(v, o.idle_shutdown_s); }},
    {"--allocated-timeout", "SECONDS", "COGWELL_ALLOCATED_TIMEOUT",
     "with --agones: an allocated room where nobody has played for this long asks to be replaced (default 300)",
     [](HostOptions& o, std::string_view v) { return parse_seconds(v, o.allocated_timeout_s); }},
    {"--agones-list-api", "v1beta1|v1alpha1", "COGWELL_AGONES_LIST_API",
     "with --agones: the API of the sidecar's player List (default v1beta1; Agones before 1.41 serves v1alpha1)",
     [](HostOptions& o, std::string_view v) { return parse_named(v, LIST_API_NAMES, o.agones_list_api); }},
    {"--log-level", "debug|info|warn|error", "COGWELL_LOG_LEVEL",
     "the least important lines written (default debug: everything, with the per-frame diagnostics)",
     [](HostOptions& o, std::string_view v) { return parse_named(v, LOG_LEVEL_NAMES, o.log_level); }},
    {"--max-players-per-address", "N", "COGWELL_MAX_PLAYERS_PER_ADDRESS",
     "seated players one network address may hold at once (default 16, 0: no limit; never counts this machine's own 127.0.0.1 and ::1)",
     [](HostOptions& o, std::string_view v) { return parse_count(v, o.max_players_per_address); }},
    {"--record", "FILE", nullptr, "record the game to FILE for replay",
     [](HostOptions& o, std::string_view v) {
         o.record_path = std::string(v);
         return !v.empty();
     }},
    {"--record-max-bytes", "N[K|M|G]", nullptr, "with --record: the recording ends at this size (default 1G)",
     [](HostOptions& o, std::string_view v) { return parse_bytes(v, o.record_max_bytes); }},
    {"--tls-cert", "FILE", "COGWELL_TLS_CERT", "PEM certificate (chain): the web port serves HTTPS and WSS",
     [](HostOptions& o, std::string_view v) {
         o.tls_certificate = std::string(v);
         return !v.empty();
     }},
    {"--tls-key", "FILE", "COGWELL_TLS_KEY", "PEM private key of --tls-cert",
     [](HostOptions& o, std::string_view v) {
         o.tls_key = std::string(v);
         return !v.empty();
     }},
    {"--max-handshakes-per-address", "N", nullptr,
     "sockets one address may hold on the web port before the game has them as WebSockets (default 16, 0: no limit; not 127.0.0.1, ::1)",
     [](HostOptions& o, std::string_view v) { return parse_count(v, o.handshakes_per_address); }},
    {"--max-tls-per-address", "N", nullptr,
     "new TLS connections one address may open on the web port per second, after a first burst of four seconds' "
     "worth (default 8, 0: no limit; not 127.0.0.1, ::1); whoever opens them, at most 4 TLS handshakes a frame (16 at "
     "once after a quiet moment) are worked on and the rest refused",
     [](HostOptions& o, std::string_view v) { return parse_count(v, o.tls_per_address_second); }},
    {"--max-logins-per-address", "N", nullptr,
     "connections from one address waiting for their LOGIN, on either port, those arriving at once included (default 8, 0: no limit; not 127.0.0.1, ::1)",
     [](HostOptions& o, std::string_view v) { return parse_count(v, o.pending_logins_per_address); }},
    {"--allow-origin", "ORIGIN", nullptr,
     "also accept browsers' WebSockets from pages of ORIGIN, e.g. https://play.example.org (repeatable; * for any)",
     [](HostOptions& o, std::string_view v) {
         o.allowed_origins.emplace_back(v);
         return !v.empty();
     }},
    {"--trusted-proxy", "CIDR", nullptr,
     "a front door's network, e.g. 127.0.0.1/32 or 10.0.0.0/8 or ::1/128 (repeatable): its connections, on either "
     "port, must start with a PROXY v2 header and count as the player it names; a header from anywhere else is "
     "refused, as is a door's connection without one, this machine's included (default: none, no header is read)",
     [](HostOptions& o, std::string_view v) {
         const std::optional<web::TrustedNet> net = web::parse_trusted_net(v);
         if (net) o.trusted_proxies.push_back(*net);
         return net.has_value();
     }},
    {"--metrics-port", "N", "COGWELL_METRICS_PORT",
     "serve Prometheus metrics at http://HOST:N/metrics (default 0: off; never on the web port)",
     [](HostOptions& o, std::string_view v) { return parse_port(v, o.metrics_port); }},
};

const OptionSpec* find_option(std::string_view flag) {
    for (const OptionSpec& spec : OPTIONS)
        if (spec.flag == flag) return &spec;
    return nullptr;
}

ParsedOptions failure(OptionsError error, std::string message) {
    ParsedOptions parsed;
    parsed.error = error;
    parsed.message = std::move(message);
    return parsed;
}

} // namespace

const char* debug_commands_mode_name(DebugCommandsMode mode) {
    for (const Named<DebugCommandsMode>& entry : DEBUG_MODE_NAMES)
        if (entry.value == mode) return entry.name.data(); // the names are literals: terminated
    return "?";
}

ParsedOptions parse_host_options(int argc, const char* const* argv, GetEnv get_env) {
    ParsedOptions parsed;
    for (const OptionSpec& spec : OPTIONS) {
        const char* value = spec.env && get_env ? get_env(spec.env) : nullptr;
        if (value && !spec.apply(parsed.options, value))
            return failure(OptionsError::BadValue, std::string(spec.env) + ": invalid value '" + value + "'");
    }
    const std::span<const char* const> args(argv, static_cast<size_t>(argc > 0 ? argc : 0));
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string_view word = args[i];
        if (word == "--help" || word == "-h") return failure(OptionsError::Help, "");
        // "--flag=value" and "--flag value" are both accepted.
        const size_t equals = word.find('=');
        const OptionSpec* spec = find_option(word.substr(0, equals));
        if (!spec) return failure(OptionsError::UnknownOption, "unknown option '" + std::string(word) + "'");
        std::string_view value;
        if (equals != std::string_view::npos) value = word.substr(equals + 1);
        else if (!spec->value_name.empty()) {
            if (i + 1 >= args.size())
                return failure(OptionsError::MissingValue, std::string(spec->flag) + " needs a value");
            value = args[++i];
        }
        if (!spec->apply(parsed.options, value))
            return failure(OptionsError::BadValue,
                           std::string(spec->flag) + ": invalid value '" + std::string(value) + "'");
    }
    if (parsed.options.tls_certificate.empty() != parsed.options.tls_key.empty())
        return failure(OptionsError::MissingValue, "--tls-cert and --tls-key go together");
    return parsed;
}

std::string host_usage(std::string_view program) {
    std::string text = "Usage: " + std::string(program) + " [options]\n";
    for (const OptionSpec& spec : OPTIONS) {
        std::string left = "  ";
        left += spec.flag;
        if (!spec.value_name.empty()) {
            left += ' ';
            left += spec.value_name;
        }
        left.resize(std::max<size_t>(left.size() + 2, 34), ' ');
        text += left + std::string(spec.help);
        if (spec.env) text += " [env " + std::string(spec.env) + "]";
        text += '\n';
    }
    return text;
}

} // namespace cog

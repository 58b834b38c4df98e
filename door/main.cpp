// cogwell-door: the one address where a group makes a room and shares its link.
#include "door/agones_rooms.h"
#include "door/door_exposition.h"
#include "door/door_options.h"
#include "door/door_server.h"
#include "door/local_rooms.h"
#include "door/static_rooms.h"
#include "door/terminal_qr.h"
#include "shared/log/log.h"
#include "shared/metrics/metrics_server.h"
#include "shared/metrics/snapshot_exchange.h"

#include <csignal>
#include <map>
#include <memory>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;
void request_stop(int) { g_stop = 1; }

std::filesystem::path program_folder() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path(".") : self.parent_path();
}

cog::LogLevel level_named(const std::string& name) {
    if (name == "debug") return cog::LogLevel::Debug;
    if (name == "warn") return cog::LogLevel::Warning;
    if (name == "error") return cog::LogLevel::Error;
    return cog::LogLevel::Info;
}

// Every player is a socket to the player and one to the room: as many as the system allows.
void raise_file_limit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace cog::door;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    DoorOptions options;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const DoorOptionsResult parsed = parse_door_options(args, options);
    if (parsed.error == DoorOptionsError::Help) {
        std::fputs(door_usage(cores).c_str(), stdout);
        return 0;
    }
    if (parsed.error != DoorOptionsError::None) {
        std::fprintf(stderr, "cogwell-door: %s\n%s", parsed.message.c_str(), door_usage(cores).c_str());
        return 2;
    }
    if (!options.print_qr.empty()) {
        const auto qr = terminal_qr(options.print_qr);
        if (!qr) return 1;
        std::fputs(qr->c_str(), stdout);
        return 0;
    }
    cog::log_set_min_level(level_named(options.log_level));
    const auto folder = program_folder();
    const std::string web_root = options.web_root.empty() ? (folder / "web").string() : options.web_root;
    WebFolder web;
    if (!web.load(web_root)) {
        LOG_ERROR("Cannot serve the browser client: '%s' is not a readable folder with an index.html", web_root.c_str());
        return 1;
    }
    TlsContext tls;
    if (!options.tls_certificate.empty()) {
        const TlsLoadError error = tls.load(options.tls_certificate, options.tls_key);
        if (error != TlsLoadError::None) {
            LOG_ERROR("Cannot serve over TLS (certificate '%s', key '%s'): %s", options.tls_certificate.c_str(),
                      options.tls_key.c_str(), tls_load_error_text(error));
            return 1;
        }
    }
    raise_file_limit();
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction stop{};
    stop.sa_handler = request_stop;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);

    LocalRoomsConfig rooms_config;
    rooms_config.host_binary = options.host_binary.empty() ? (folder / "cogwell-host").string() : options.host_binary;
    rooms_config.web_root = options.web_root;
    rooms_config.max_rooms = options.max_rooms > 0 ? options.max_rooms : 8 * cores;
    rooms_config.idle_ms = int64_t{options.room_idle_s} * 1000;
    rooms_config.rooms_trust_door = options.proxy_header;
    std::unique_ptr<RoomSource> source;
    if (options.rooms == "agones") {
        AgonesRoomsConfig agones;
        for (const auto& [name, value] : options.agones) apply_agones_option(name, value, agones);
        const AgonesSetupError error = complete_in_cluster(agones, InClusterPaths{});
        if (error != AgonesSetupError::None) {
            LOG_ERROR("Cannot ask Agones for rooms: %s", agones_setup_error_text(error));
            return 1;
        }
        LOG_INFO("Rooms: Agones fleet '%s' in namespace '%s' through %s", agones.names.fleet.c_str(),
                 agones.names.namespace_name.c_str(), agones.api.api_url.c_str());
        source = std::make_unique<AgonesRooms>(std::move(agones));
    } else {
        source = std::make_unique<LocalRooms>(rooms_config);
    }
    std::map<std::string, RoomAddress, std::less<>> fixed;
    for (const auto& text : options.static_rooms) {
        auto room = parse_static_room(text);
        LOG_INFO("Static room %s at %s:%u", room->first.c_str(), room->second.host.c_str(),
                 static_cast<unsigned>(room->second.port));
        fixed.insert(std::move(*room));
    }
    StaticRooms with_static(std::move(fixed), *source);
    RoomSource& rooms = with_static;

    DoorConfig config;
    config.port = options.port;
    config.proxy_header = options.proxy_header;
    SystemSecureRandom random;
    cog::SystemClock clock;
    DoorServer door(config, rooms, random, web, tls.get() ? tls.get() : nullptr, clock);
    if (door.open() != DoorOpenError::None) {
        LOG_ERROR("Cannot open the door on port %u: %s", static_cast<unsigned>(options.port), std::strerror(errno));
        return 1;
    }
    // Its own port, never the door's: the public sees the page, only the operator the numbers.
    cog::metrics::SnapshotExchange<DoorMetrics> metrics_exchange;
    std::unique_ptr<cog::metrics::MetricsServer> metrics_server;
    if (options.metrics_port != 0) {
        cog::metrics::MetricsServerError error = cog::metrics::MetricsServerError::None;
        metrics_server = cog::metrics::MetricsServer::open(
            options.metrics_port, [&metrics_exchange] { return render_door_exposition(metrics_exchange.latest()); },
            error);
        if (!metrics_server) {
            LOG_ERROR("Cannot open the metrics port %u: %s", static_cast<unsigned>(options.metrics_port),
                      cog::metrics::metrics_server_error_name(error));
            return 1;
        }
        door.publish_metrics_to(&metrics_exchange);
        LOG_INFO("Metrics on http://0.0.0.0:%u/metrics", static_cast<unsigned>(metrics_server->port()));
    }
    LOG_INFO("Door on %s://0.0.0.0:%u/ (rooms: local %s, at most %d)", tls.get() ? "https" : "http",
             static_cast<unsigned>(door.port()), rooms_config.host_binary.c_str(), rooms_config.max_rooms);
    door.run(g_stop);
    LOG_INFO("Door closed");
    return 0;
}

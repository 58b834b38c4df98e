// Start-up, the frame loop and shutdown.
#include "server/main/host.h"

#include "server/main/client_input.h"
#include "server/main/departed_players.h"
#include "server/main/frame.h"
#include "server/main/metrics_gathering.h"
#include "server/main/sessions.h"
#include "server/main/web_service.h"
#include "server/metrics/exposition.h"
#include "server/network/socket_util.h"
#include "server/ui/status_view.h"
#include "server/ui/status_window.h"
#include "shared/log/log.h"

#include <algorithm>
#include <vector>

namespace cog {

namespace {
const char* fleet_state_shown(const RoomReporter& fleet) {
    return fleet.fleet_state().empty() ? "unknown" : fleet.fleet_state().c_str();
}

// The window gets a view of the state, never the state itself; what the operator clicked comes
// back as actions.
void draw_status_window(StatusWindow& window, HostState& host, const RoomReporter* fleet, Clock& clock,
                        int64_t frame_start_ns) {
    const int64_t now = clock.monotonic_ns();
    if (!window.redraw_due(now, frame_start_ns + FRAME_BUDGET_NS)) return;
    std::pmr::vector<StatusPlayerRow> rows(&host.frame_arena);
    rows.reserve(host.global.players.size());
    for (const auto& [id, player] : host.global.players)
        rows.push_back({id, player.connected, player.input.mouse_x, player.input.mouse_y, player.show_mouse,
                        player.is_admin});
    const UiActions actions = window.draw(StatusView{host.running, host.screen_stack.count, rows, &host.profiler,
                                                     debug_commands_mode_name(host.debug_access.mode),
                                                     fleet ? fleet_state_shown(*fleet) : ""},
                                          now, clock);
    if (actions.reset_profiler) host.profiler.reset_all_time_max();
}

// What the fleet manager is told about the room: who holds a live seat and what is on screen.
// Timed with the instrument clock: the fleet changes nothing in the game, and its readings would
// otherwise sit in a recording that a replay (never in a fleet) does not make.
void report_to_fleet(RoomReporter& fleet, HostState& host, Clock& clock) {
    std::pmr::vector<uint32_t> humans(&host.frame_arena);
    for (const auto& [id, player] : host.global.players)
        if (human_socket(host, player)) humans.push_back(id);
    const Screen* top = host.screen_stack.top();
    fleet.observe({clock.monotonic_ns(), humans, top ? screen_id_name(top->id) : "NONE",
                   !top || top->id == ScreenId::LOBBY});
}
} // namespace

Host::Host(const HostConfig& config)
    : config_(config),
      state_(*config.clock, *config.random, config.instrument_clock ? *config.instrument_clock : *config.clock) {
    state_.observer = config.observer;
    state_.seat_claims.fill = config.secret_source;
    state_.seat_claims.max_per_address = config.max_players_per_address;
    state_.seat_claims.new_seats.enabled = config.max_players_per_address != 0;
}

Host::~Host() {
    if (!shut_down_ && state_.running) shutdown();
}

bool Host::start() {
    LOG_INFO("Starting game server...");
    start_debug_access(state_.debug_access, config_.debug_commands, config_.secret_source);
    if (!config_.admin_token.empty() && state_.debug_access.mode == DebugCommandsMode::ADMIN)
        state_.debug_access.admin_token = config_.admin_token;
    if (state_.observer) state_.observer->host_started(state_.debug_access.mode, state_.debug_access.admin_token);
    GlobalState& global = state_.global;
    global.mask_offset = mask_offset_from_wall_ns(state_.clock.wall_ns());
    global.random = &state_.random;
    global.clock = &state_.clock;
    global.profiler = &state_.profiler;
    global.play_sound = [this](SoundId id, float volume) {
        broadcast_sound(state_, static_cast<uint16_t>(id), volume);
    };
    global.stop_music = [this] { broadcast_stop_music(state_); };
    global.tell = [this](uint32_t id, std::string_view text) { send_system_message(state_, text, id); };
    state_.running = true;

    // The lobby exists before the listener, so its init and mount see no players.
    push_screen(state_, ScreenId::LOBBY);

    if (config_.listen && !open_listener()) return false;
    // Browsers are players like TCP clients: a host that takes no connections takes neither.
    if (config_.listen && !open_web_endpoint()) return false;
    if (config_.listen) open_metrics();
    // Ready tells the fleet players may be sent here, so only a room that listens reports.
    if (config_.agones && config_.listen) {
        FleetSettings fleet;
        fleet.sidecar_port = config_.agones_port;
        fleet.list_api = config_.agones_list_api;
        fleet.idle_shutdown_ns = int64_t{config_.idle_shutdown_s} * 1'000'000'000;
        fleet.allocated_timeout_ns = int64_t{config_.allocated_timeout_s} * 1'000'000'000;
        fleet_ = std::make_unique<RoomReporter>(fleet, instrument_clock().monotonic_ns());
        fleet_->report_ready(instrument_clock().monotonic_ns());
    }

    if (config_.open_window) {
        // Without a display SDL would quietly choose an off-screen driver and spend CPU drawing
        // a window nobody can see.
        if (display_available()) window_ = StatusWindow::open();
        else LOG_WARN("No display found (DISPLAY and WAYLAND_DISPLAY unset); running without the status window");
    }
    previous_frame_start_ns_ = state_.clock.monotonic_ns();
    return true;
}

bool Host::open_listener() {
    const ListenResult listener = create_listener(LISTEN_ADDRESS, config_.port, LISTEN_BACKLOG);
    if (listener.fd < 0) {
        LOG_ERROR("Failed to create listener: %s", socket_error_name(listener.error));
        state_.running = false;
        shut_down_ = true; // nothing to shut down: no window, the lobby is left as it is
        return false;
    }
    state_.connections.listener = listener.fd;
    state_.connections.pending_logins_per_address = config_.pending_logins_per_address;
    state_.connections.proxy_gate.trust(config_.trusted_proxies, STALLED_CLIENT_NS);
    LOG_INFO("Open file limit: %lu", raise_open_file_limit());
    set_non_blocking(listener.fd, true);
    port_ = bound_port(listener.fd);
    LOG_INFO("Server listening on %s:%d", LISTEN_ADDRESS, static_cast<int>(port_));
    return true;
}

// A web endpoint that cannot open leaves the game to TCP players; it is no reason not to run,
// except when its TLS files are wrong: the operator asked for a secure room and must hear at once.
bool Host::open_web_endpoint() {
    if (config_.web_port == 0 && !config_.web_port_any) return true;
    const uint16_t port = config_.web_port_any ? 0 : config_.web_port;
    web::WebError error = web::WebError::None;
    web::TlsFileError tls = web::TlsFileError::None;
    web::WebConfig web_config(port, config_.web_root, true);
    web_config.tls_certificate = config_.tls_certificate;
    web_config.tls_key = config_.tls_key;
    web_config.handshakes_per_address = config_.handshakes_per_address;
    web_config.tls_sockets_per_address_second = config_.tls_per_address_second;
    web_config.allowed_origins = config_.allowed_origins;
    web_config.trusted_proxies = config_.trusted_proxies;
    state_.web = web::WebEndpoint::open(web_config, error, &tls);
    if (state_.web) {
        LOG_INFO("Web client on %s://%s:%d/", state_.web->secure() ? "https" : "http", LISTEN_ADDRESS,
                 static_cast<int>(state_.web->port()));
    } else if (error == web::WebError::BadTlsFiles) {
        LOG_ERROR("Cannot serve the web client over TLS (certificate '%s', key '%s'): %s",
                  config_.tls_certificate.c_str(), config_.tls_key.c_str(), web::tls_file_error_text(tls));
        return false;
    } else {
        LOG_ERROR("Failed to open the web endpoint on port %d (files in '%s'): %s", static_cast<int>(port),
                  config_.web_root.c_str(), web::web_error_name(error));
    }
    return true;
}

// On its own port, never the web port's: the public sees the game, only the operator the numbers.
void Host::open_metrics() {
    if (config_.metrics_port == 0 && !config_.metrics_port_any) return;
    state_.metrics.start_time_s = instrument_clock().wall_ns() / 1'000'000'000;
    metrics_exchange_ = std::make_unique<metrics::SnapshotExchange<metrics::RoomMetrics>>();
    metrics::MetricsServerError error = metrics::MetricsServerError::None;
    const uint16_t port = config_.metrics_port_any ? 0 : config_.metrics_port;
    metrics::SnapshotExchange<metrics::RoomMetrics>* exchange = metrics_exchange_.get();
    metrics_server_ = metrics::MetricsServer::open(
        port, [exchange] { return metrics::render_exposition(exchange->latest()); }, error);
    if (!metrics_server_) {
        LOG_ERROR("Failed to open the metrics port %d: %s", static_cast<int>(port), metrics::metrics_server_error_name(error));
        metrics_exchange_.reset();
        return;
    }
    publish_metrics(0);
    LOG_INFO("Metrics on http://%s:%d/metrics", LISTEN_ADDRESS, static_cast<int>(metrics_server_->port()));
}

// Counted whether or not anyone scrapes; published only when someone can.
void Host::publish_metrics(int64_t work_ns) {
    if (work_ns > 0) {
        ++state_.metrics.frames;
        state_.metrics.frame_times.observe(work_ns);
    }
    if (!metrics_exchange_) return;
    gather_room_metrics(state_, {fleet_.get(), config_.console, config_.recorder});
    metrics_exchange_->publish(state_.metrics);
}

uint16_t Host::web_port() const { return state_.web ? state_.web->port() : 0; }

bool Host::should_stop() {
    if (!state_.running) return true;
    if (config_.stop_requested && config_.stop_requested->load()) return true;
    return window_ && window_->poll_close_requested();
}

bool Host::frame() {
    if (should_stop()) return false;
    // First, so that a recording's frame holds every clock reading and input of this frame.
    if (state_.observer) state_.observer->frame_begun();
    Profiler& profiler = state_.profiler;
    profiler.begin_frame();
    profiler.push("main_loop");
    // Frame time comes from the monotonic clock: a wall clock set back or forward must not run
    // the game's timers backwards or leap them ahead.
    const int64_t frame_start = state_.clock.monotonic_ns();
    const float dt = static_cast<float>(frame_start - previous_frame_start_ns_) / 1e9f;
    // Timed apart from the game's clock, so a recording holds no reading of it.
    const int64_t work_start = instrument_clock().monotonic_ns();

    // New players first, so a client that connects this frame already gets this frame's picture.
    profiler.push("accept_connections");
    receive_from_browsers(state_, frame_start);
    accept_new_connections(state_);
    profiler.pop();

    // Input before update: a key pressed since the last frame is seen by this frame's rules.
    profiler.push("process_input");
    process_client_input(state_);
    profiler.pop();

    // The transition is applied here, so the pictures below already show the new top screen.
    profiler.push("update_state");
    update_state(state_, dt);
    profiler.pop();

    profiler.push("send_draw_commands");
    send_draw_commands(state_);
    profiler.pop();

    // The one place where failed connections leave: after the pictures, so a failure anywhere
    // in this frame (input, a reply, a broadcast, a picture) drops its player exactly once and
    // the screen hears of it before the next frame's input.
    profiler.push("drop_broken_connections");
    drop_broken_connections(state_);
    profiler.pop();

    // The frame's pictures and events leave for the browsers now, not a frame later.
    profiler.push("send_to_browsers");
    send_to_browsers(state_);
    profiler.pop();

    // After the drops, so a player who left this frame starts his absence now; records past
    // their time go before the next frame walks anything.
    forget_expired_departures(state_, state_.clock.monotonic_ns());

    // Last in the measured frame, so the fleet hears of exactly the players who hold a seat as
    // the frame ends. It only queues calls and advances transfers: a slow sidecar never holds
    // the frame.
    if (fleet_) {
        profiler.push("report_to_fleet");
        report_to_fleet(*fleet_, state_, instrument_clock());
        profiler.pop();
    }

    profiler.pop();
    profiler.end_frame();
    if (state_.observer) state_.observer->frame_ended();

    // The status window is drawn outside the measured part, so it never shows its own cost.
    if (window_) draw_status_window(*window_, state_, fleet_.get(), instrument_clock(), frame_start);

    publish_metrics(std::max<int64_t>(instrument_clock().monotonic_ns() - work_start, 1));
    pace_frame(frame_start);
    // Nothing allocated in the frame may survive it.
    state_.frame_arena.release();
    previous_frame_start_ns_ = frame_start;
    return true;
}


int64_t pacing_sleep_ms(int64_t frame_start_ns, int64_t now_ns) {
    const int64_t remaining = frame_start_ns + FRAME_BUDGET_NS - now_ns;
    return remaining > 0 ? remaining / 1'000'000 : 0;
}

void Host::pace_frame(int64_t frame_start_ns) {
    const int64_t now = state_.clock.monotonic_ns();
    // An overrun frame does not sleep, and nothing is caught up later.
    if (frame_start_ns + FRAME_BUDGET_NS - now > 0) state_.clock.sleep_ms(pacing_sleep_ms(frame_start_ns, now));
}

void Host::shutdown() {
    if (shut_down_) return;
    shut_down_ = true;
    destroy_all_screens(state_);
    fleet_.reset(); // calls still out are abandoned: the fleet is already stopping this room
    metrics_server_.reset();
    LOG_INFO("Server shutdown complete");
    close_all(state_.connections);
    state_.web.reset();
    window_.reset();
}

int Host::run() {
    if (!start()) return 1;
    while (frame()) {
    }
    shutdown();
    return 0;
}

} // namespace cog

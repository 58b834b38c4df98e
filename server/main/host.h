// The host as an object: start-up, one frame at a time, shutdown. `main` runs it on port 5556
// with the wall clock and the OS random source; tests run it on an ephemeral port with their own.
#pragma once

#include "server/fleet/room_reporter.h"
#include "server/main/host_state.h"
#include "server/metrics/room_metrics.h"
#include "shared/metrics/metrics_server.h"
#include "shared/metrics/snapshot_exchange.h"
#include "server/options/options.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace cog {

class ConsoleWriter;
class Recorder;

class StatusWindow;

// Whole milliseconds left of the frame budget (rounded down), 0 when the frame overran.
int64_t pacing_sleep_ms(int64_t frame_start_ns, int64_t now_ns);

// The options a person can set (ports, modes) and what only code can hand over (clocks, stop flag).
struct HostConfig : HostOptions {
    Clock* clock = nullptr;                // required
    Clock* instrument_clock = nullptr;     // the profiler's and the status window's; nullptr: `clock`
    FrameObserver* observer = nullptr;     // a recording or a replay
    bool listen = true;                    // false: no listener (a replay feeds its own connections)
    std::string admin_token;               // a replay's: the recorded token instead of a new one
    Random* random = nullptr;              // required
    FillRandomBytes secret_source = fill_from_os; // the admin token's and the seats' secrets
    bool open_window = true;               // the "Server" status window, when a display exists
    const std::atomic<bool>* stop_requested = nullptr; // set from a signal handler to end the loop
    // The web endpoint on any free port (parallel tests), whatever web_port says.
    bool web_port_any = false;
    // The metrics endpoint on any free port (tests), whatever metrics_port says.
    bool metrics_port_any = false;
    // Where the metrics find the log's and the recording's counts; nullptr: not shown.
    const ConsoleWriter* console = nullptr;
    const Recorder* recorder = nullptr;
};

class Host {
public:
    explicit Host(const HostConfig& config);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Start-up; false when the listener could not be created (already logged).
    bool start();
    // One frame of the loop; false when the loop must end (window closed, stop requested).
    bool frame();
    // Destroys the screens and closes the listener. Called once after the loop.
    void shutdown();
    // start(), frames until the end, shutdown(). Returns the process exit code.
    int run();

    HostState& state() { return state_; }
    uint16_t port() const { return port_; }
    // The web endpoint's port; 0 when it is off or could not open.
    uint16_t web_port() const;
    // The metrics endpoint's port; 0 when it is off.
    uint16_t metrics_port() const { return metrics_server_ ? metrics_server_->port() : 0; }
    bool has_window() const { return window_ != nullptr; }
    StatusWindow* window() { return window_.get(); }

private:
    bool open_listener();
    Clock& instrument_clock() { return config_.instrument_clock ? *config_.instrument_clock : *config_.clock; }
    bool should_stop();
    bool open_web_endpoint(); // false: the TLS files are unusable (logged)
    void open_metrics(); // a port that cannot open is logged; the room plays on without it
    void publish_metrics(int64_t work_ns);
    void pace_frame(int64_t frame_start_ns);

    HostConfig config_;
    HostState state_;
    std::unique_ptr<StatusWindow> window_;
    std::unique_ptr<RoomReporter> fleet_; // only when run by the fleet manager
    // Declared before the server, which reads it until it is destroyed.
    std::unique_ptr<metrics::SnapshotExchange<metrics::RoomMetrics>> metrics_exchange_;
    std::unique_ptr<metrics::MetricsServer> metrics_server_;
    uint16_t port_ = 0;
    int64_t previous_frame_start_ns_ = 0;
    bool shut_down_ = false;
};

} // namespace cog

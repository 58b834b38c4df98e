// Metrics over HTTP on a port of their own: `GET /metrics`, answered by one thread of its own from
// what `render` makes of the latest published snapshot, one request at a time, each bounded in
// size and time, so a scraper (or anyone else on that port) costs the serving loop nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace cog::metrics {

// A request's head larger than this is answered 431 and closed.
inline constexpr size_t MAX_REQUEST_BYTES = 4096;
// A client that has not sent its request, or taken the answer, within this is closed.
inline constexpr int REQUEST_TIMEOUT_MS = 2000;

enum class MetricsServerError : uint8_t { None, Socket, Bind, Listen };
const char* metrics_server_error_name(MetricsServerError error);

// Called on the server's thread for each scrape: the body, in the text exposition format.
using RenderMetrics = std::function<std::string()>;

class MetricsServer {
public:
    // Listens on `port` (0: any free port) on every interface; nullptr and `error` on failure.
    static std::unique_ptr<MetricsServer> open(uint16_t port, RenderMetrics render, MetricsServerError& error);
    ~MetricsServer(); // stops the thread and closes the port
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    uint16_t port() const { return port_; }

private:
    MetricsServer(int listener, int wake_fd, uint16_t port, RenderMetrics render);
    void run();
    void serve(int client);

    int listener_;
    int wake_fd_; // an eventfd written to stop the thread
    uint16_t port_;
    RenderMetrics render_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace cog::metrics

// Program entry: the host on port 5556 with the wall clock and the OS random source.
#include "server/main/host.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> g_stop_requested{false};

void request_stop(int) { g_stop_requested.store(true); }

} // namespace

int main() {
    // SIGINT and SIGTERM end the loop like closing the window: screens destroyed, clean exit.
    std::signal(SIGINT, request_stop);
    std::signal(SIGTERM, request_stop);
    std::signal(SIGPIPE, SIG_IGN); // a vanished client must not kill the host mid-send

    cog::SystemClock clock;
    cog::SeededRandom random;
    cog::HostConfig config;
    config.clock = &clock;
    config.random = &random;
    config.stop_requested = &g_stop_requested;
    cog::Host host(config);
    return host.run();
}

// The host's frame work (accept, input, update, send: the profiled part of the frame) with nine
// clients in the lobby, each sending one INPUT per frame. Reports the median and 99th percentile.
#include "server/main/host.h"
#include "bench/client_socket.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace cog {
namespace {

// The wall clock without the sleeps: frames run back to back.
class UnpacedClock final : public Clock {
public:
    int64_t wall_ns() override { return system_.wall_ns(); }
    int64_t monotonic_ns() override { return system_.monotonic_ns(); }
    void sleep_ms(int64_t) override {}

private:
    SystemClock system_;
};

void drain(int fd) {
    char buffer[1 << 16];
    while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

void BM_FrameWorkNineClientsInLobby(benchmark::State& state) {
    UnpacedClock clock;
    SeededRandom random(1);
    HostConfig config;
    config.port = 0;
    config.web_port = 0;
    config.clock = &clock;
    config.random = &random;
    config.open_window = false;
    Host host(config);
    host.start();
    std::vector<int> clients;
    for (int i = 0; i < 9; ++i) {
        int fd = bench::connect_loopback(host.port());
        ClientMessage login;
        login.kind = ClientMessageKind::LOGIN;
        std::string name = "player" + std::to_string(i);
        login.player_name = name;
        bench::send_frame(fd, login);
        clients.push_back(fd);
    }
    for (int i = 0; i < 10; ++i) host.frame();
    ClientMessage input;
    input.kind = ClientMessageKind::INPUT;
    input.input.mouse_x = 300;
    const std::string input_frame = bench::frame_of(input);

    std::vector<double> frame_ns;
    for (auto _ : state) {
        for (int fd : clients) send(fd, input_frame.data(), input_frame.size(), MSG_NOSIGNAL);
        host.frame();
        frame_ns.push_back(static_cast<double>(host.state().profiler.root().total_ns));
        for (int fd : clients) drain(fd);
    }
    std::sort(frame_ns.begin(), frame_ns.end());
    if (!frame_ns.empty()) {
        state.counters["median_us"] = frame_ns[frame_ns.size() / 2] / 1e3;
        state.counters["p99_us"] = frame_ns[std::min(frame_ns.size() - 1, frame_ns.size() * 99 / 100)] / 1e3;
    }
    host.shutdown();
    for (int fd : clients) close(fd);
}
BENCHMARK(BM_FrameWorkNineClientsInLobby)->Iterations(3000)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace cog

BENCHMARK_MAIN();

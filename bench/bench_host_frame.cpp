// The host's frame work (accept, input, update, send: the profiled part of the frame) with nine
// clients in the lobby, each sending one INPUT per frame. Reports the median and 99th percentile.
#include "server/main/host.h"
#include "shared/protocol/json.h"

#include <algorithm>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// The wall clock without the sleeps: frames run back to back.
class UnpacedClock final : public cog::Clock {
public:
    int64_t wall_ns() override { return system_.wall_ns(); }
    int64_t monotonic_ns() override { return system_.monotonic_ns(); }
    void sleep_ms(int64_t) override {}

private:
    cog::SystemClock system_;
};

int connect_client(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    return fd;
}

std::string frame_of(const cog::ClientMessage& message) {
    std::string text;
    cog::write_json(text, message);
    const uint32_t n = static_cast<uint32_t>(text.size());
    return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                       static_cast<char>(n)} +
           text;
}

void drain(int fd) {
    char buffer[1 << 16];
    while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

void BM_FrameWorkNineClientsInLobby(benchmark::State& state) {
    UnpacedClock clock;
    cog::SeededRandom random(1);
    cog::HostConfig config;
    config.port = 0;
    config.clock = &clock;
    config.random = &random;
    config.open_window = false;
    cog::Host host(config);
    host.start();
    std::vector<int> clients;
    for (int i = 0; i < 9; ++i) {
        int fd = connect_client(host.port());
        cog::ClientMessage login;
        login.kind = cog::ClientMessageKind::LOGIN;
        std::string name = "player" + std::to_string(i);
        login.player_name = name;
        std::string bytes = frame_of(login);
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        clients.push_back(fd);
    }
    for (int i = 0; i < 10; ++i) host.frame();
    cog::ClientMessage input;
    input.kind = cog::ClientMessageKind::INPUT;
    input.input.mouse_x = 300;
    const std::string input_frame = frame_of(input);

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

BENCHMARK_MAIN();

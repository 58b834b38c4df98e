// A burst of WebSockets from one address against a running host's web port, each sending one
// small compressed message that inflates to nearly a megabyte, in rounds; prints the host's
// resident memory before, at its peak and a while after every socket has closed. Run an honest
// player (load_clients) beside it for the gaps between its pictures.
//
//   web_burst <web_port> <host_pid> [--sockets N] [--rounds R] [--source 127.0.0.X]
#include "bench/proc_sample.h"
#include "tests/ws_client/ws_client.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using cog::bench::sample_process;
using cog::test::WsClient;

namespace {

// Resident memory sampled every few milliseconds while the burst runs; the highest seen.
struct PeakWatch {
    int pid;
    std::atomic<bool> stop{false};
    std::atomic<long> peak_kb{0};
    std::thread thread;
    explicit PeakWatch(int pid_) : pid(pid_) {
        thread = std::thread([this] {
            while (!stop) {
                const long rss = sample_process(pid).rss_kb;
                if (rss > peak_kb) peak_kb = rss;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~PeakWatch() {
        stop = true;
        thread.join();
    }
};

void round_of(uint16_t port, int sockets, const char* source, const std::string& bomb) {
    std::vector<std::unique_ptr<WsClient>> burst;
    for (int i = 0; i < sockets; ++i) burst.push_back(std::make_unique<WsClient>(port, true, "/play", "", source));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (auto& client : burst) {
        while (!client->is_open() && std::chrono::steady_clock::now() < until) client->wait_open(5);
        if (client->is_open()) client->send_compressed(bomb);
    }
    for (int i = 0; i < 50; ++i) {
        for (auto& client : burst) client->flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <web_port> <host_pid> [--sockets N] [--rounds R] [--source 127.0.0.X]\n", argv[0]);
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const int pid = std::atoi(argv[2]);
    int sockets = 270, rounds = 8;
    const char* source = "127.0.0.20";
    for (int i = 3; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--sockets")) sockets = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--rounds")) rounds = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--source")) source = argv[i + 1];
    }
    // Just under the largest message a browser may send, of one repeated letter: about a kilobyte
    // compressed.
    const std::string bomb(1048576 - 64, 'a');
    const long before = sample_process(pid).rss_kb;
    long peak = 0;
    {
        PeakWatch watch(pid);
        for (int r = 0; r < rounds; ++r) round_of(port, sockets, source, bomb);
        std::this_thread::sleep_for(std::chrono::seconds(3)); // every socket gone, whatever closed it
        peak = watch.peak_kb;
    }
    const long after = sample_process(pid).rss_kb;
    std::printf("%d rounds of %d WebSockets from %s: host RSS before %.0f MB, peak %.0f MB, after %.0f MB\n", rounds,
                sockets, source, before / 1024.0, peak / 1024.0, after / 1024.0);
    return 0;
}

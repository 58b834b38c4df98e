// Bandwidth and CPU of the native client's own connection code: N players in one process reach a
// running host through the client's Connection (WebSocket with permessage-deflate, or --tcp), each
// doing every 16 ms what the client's frame does short of drawing: read within the frame's budget,
// decode the newest picture, send one INPUT. Prints per player the bytes a second on the wire and
// decompressed, and this process's CPU per player. With --client BINARY one real cogwell-client
// (on $DISPLAY, run it under xvfb-run) joins beside them and its CPU share is printed too.
//
//   client_web_load <port> <players> <seconds> [--tcp] [--push SCREEN] [--client BINARY]
#include "bench/proc_sample.h"
#include "client/net/connection.h"
#include "client/session/host_reader.h"
#include "client/session/session.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace cog;
using namespace cog::client;
using SteadyClock = std::chrono::steady_clock;

namespace {

class NoSound final : public SoundOutput {
public:
    void play(uint16_t, float) override {}
    void stop_music() override {}
};

struct Player {
    Connection connection;
    HostReader reader;
    Session session;
    Overlay overlay;
};

pid_t start_client(const char* binary, uint16_t port, bool tcp) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const std::string port_text = std::to_string(port);
    const std::string png = "/tmp/client_web_load-" + std::to_string(getpid()) + ".png";
    execl(binary, binary, "--name", "Watcher", "--port", port_text.c_str(), "--screenshot", png.c_str(), "--after",
          "3600", tcp ? "--tcp" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
    _exit(127);
}

double seconds_since(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <port> <players> <seconds> [--tcp] [--push SCREEN] [--client BINARY]\n", argv[0]);
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const int count = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    bool tcp = false;
    std::string push;
    const char* client_binary = nullptr;
    for (int i = 4; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tcp")) tcp = true;
        else if (!std::strcmp(argv[i], "--push") && i + 1 < argc) push = argv[++i];
        else if (!std::strcmp(argv[i], "--client") && i + 1 < argc) client_binary = argv[++i];
    }

    HostAddress address;
    address.transport = tcp ? TransportKind::Tcp : TransportKind::WebSocket;
    if (resolve_host("127.0.0.1", port, address) != ConnectError::None) return 1;
    std::vector<std::unique_ptr<Player>> players;
    for (int i = 0; i < count; ++i) {
        auto player = std::make_unique<Player>();
        const ConnectError error = player->connection.open(address, 3000);
        if (error != ConnectError::None) {
            std::fprintf(stderr, "player %d: %s\n", i + 1, connect_error_text(error));
            return 1;
        }
        player->connection.send(login_message("Bench" + std::to_string(i + 1), 0, ""));
        players.push_back(std::move(player));
    }
    const pid_t client = client_binary ? start_client(client_binary, port, tcp) : -1;

    NoSound sound;
    const auto begin = SteadyClock::now();
    const auto run_for = [&](double s) {
        const auto end = SteadyClock::now() + std::chrono::duration<double>(s);
        for (auto next = SteadyClock::now(); next < end; next += std::chrono::milliseconds(16)) {
            const double now = seconds_since(begin);
            for (auto& p : players) {
                p->reader.read_frame(p->connection, p->session, p->overlay, sound, now);
                p->connection.send(input_message(InputState{}));
            }
            std::this_thread::sleep_until(next + std::chrono::milliseconds(16));
        }
    };
    run_for(1.0);
    if (!push.empty()) players[0]->connection.send(command_message("push " + push));
    run_for(1.5);

    std::vector<TrafficCount> before;
    for (auto& p : players) before.push_back(p->connection.traffic());
    const bench::ProcSample self_before = bench::sample_process(getpid());
    const bench::ProcSample client_before = bench::sample_process(client);
    const auto start = SteadyClock::now();
    run_for(seconds);
    const double elapsed = seconds_since(start);
    const bench::ProcSample self_after = bench::sample_process(getpid());
    const bench::ProcSample client_after = bench::sample_process(client);

    double wire = 0, decoded = 0;
    int open = 0, compressed = 0;
    for (size_t i = 0; i < players.size(); ++i) {
        const TrafficCount now = players[i]->connection.traffic();
        wire += static_cast<double>(now.wire_bytes - before[i].wire_bytes);
        decoded += static_cast<double>(now.message_bytes - before[i].message_bytes);
        open += players[i]->connection.is_open() ? 1 : 0;
        compressed += now.compressed ? 1 : 0;
    }
    std::printf("%s, %d players (%d open, %d compressed), %s: %.1f KB/s per player on the wire, %.1f KB/s decoded "
                "(%.1fx); this process %.2f%% of a core per player",
                tcp ? "tcp" : "websocket+deflate", count, open, compressed, push.empty() ? "lobby" : push.c_str(),
                wire / elapsed / count / 1024, decoded / elapsed / count / 1024, wire > 0 ? decoded / wire : 0.0,
                100 * (self_after.cpu_seconds - self_before.cpu_seconds) / elapsed / count);
    if (client > 0) {
        std::printf("; cogwell-client %.1f%% of a core, %ld KB resident", 100 * (client_after.cpu_seconds - client_before.cpu_seconds) / elapsed,
                    client_after.rss_kb);
        kill(client, SIGTERM);
        waitpid(client, nullptr, 0);
    }
    std::printf("\n");
    return 0;
}

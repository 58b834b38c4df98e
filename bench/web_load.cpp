// Bandwidth per player over each transport: N players in one process log in to a running host
// over TCP, WebSocket with permessage-deflate, or WebSocket without it, send one INPUT per 16 ms
// and read everything the host sends. Prints the bytes per player per second on the wire (and,
// for WebSockets, before compression) and, with --pid, the host's CPU share.
//
//   web_load <tcp_port> <web_port> <players> <seconds> [--transport tcp|web|web-plain]
//            [--push SCREEN] [--pid HOST_PID]
#include "bench/client_socket.h"
#include "bench/proc_sample.h"
#include "tests/ws_client/ws_client.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

enum class Kind { Tcp, Web, WebPlain };

// One player over either transport; only bytes are counted, nothing is parsed beyond framing.
struct Player {
    Kind kind = Kind::Tcp;
    int fd = -1;                                // TCP
    std::unique_ptr<cog::test::WsClient> ws;    // WebSocket
    size_t tcp_bytes = 0;

    void send(const cog::ClientMessage& message) {
        if (ws) {
            std::string text;
            cog::write_json(text, message);
            ws->send_text(text);
        } else {
            cog::bench::send_frame(fd, message);
        }
    }
    void drain() {
        if (ws) {
            ws->receive(0);
            return;
        }
        char buffer[1 << 16];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) tcp_bytes += static_cast<size_t>(n);
    }
    size_t wire() const { return ws ? ws->wire_bytes() : tcp_bytes; }
    size_t inflated() const { return ws ? ws->message_bytes() : tcp_bytes; }
};

cog::ClientMessage login(const std::string& name) {
    cog::ClientMessage m;
    m.kind = cog::ClientMessageKind::LOGIN;
    m.player_name = name;
    return m;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: %s <tcp_port> <web_port> <players> <seconds> [--transport tcp|web|web-plain] "
                     "[--push SCREEN] [--pid HOST_PID]\n",
                     argv[0]);
        return 2;
    }
    const auto tcp_port = static_cast<uint16_t>(std::atoi(argv[1]));
    const auto web_port = static_cast<uint16_t>(std::atoi(argv[2]));
    const int count = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);
    Kind kind = Kind::Web;
    std::string push;
    int pid = 0;
    for (int i = 5; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--transport"))
            kind = !std::strcmp(argv[i + 1], "tcp") ? Kind::Tcp : !std::strcmp(argv[i + 1], "web-plain") ? Kind::WebPlain : Kind::Web;
        else if (!std::strcmp(argv[i], "--push")) push = argv[i + 1];
        else if (!std::strcmp(argv[i], "--pid")) pid = std::atoi(argv[i + 1]);
    }

    std::vector<Player> players(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Player& p = players[static_cast<size_t>(i)];
        p.kind = kind;
        if (kind == Kind::Tcp) {
            p.fd = cog::bench::connect_loopback(tcp_port);
            if (p.fd < 0) return std::fprintf(stderr, "cannot connect to %u\n", tcp_port), 1;
        } else {
            p.ws = std::make_unique<cog::test::WsClient>(web_port, kind == Kind::Web);
            if (!p.ws->wait_open(3000)) return std::fprintf(stderr, "no WebSocket at %u\n", web_port), 1;
        }
        p.send(login("Bench" + std::to_string(i + 1)));
    }
    cog::ClientMessage input;
    input.kind = cog::ClientMessageKind::INPUT;
    const auto run_for = [&](double s) {
        const auto end = Clock::now() + std::chrono::duration<double>(s);
        for (auto next = Clock::now(); next < end; next += std::chrono::milliseconds(16)) {
            for (Player& p : players) {
                p.send(input);
                p.drain();
            }
            std::this_thread::sleep_until(next + std::chrono::milliseconds(16));
        }
    };
    run_for(0.5);
    if (!push.empty()) {
        cog::ClientMessage command;
        command.kind = cog::ClientMessageKind::SETTINGS_COMMAND;
        const std::string line = "push " + push;
        command.settings_command = line;
        players[0].send(command);
    }
    run_for(1.0);

    std::vector<size_t> wire_before, inflated_before;
    for (const Player& p : players) {
        wire_before.push_back(p.wire());
        inflated_before.push_back(p.inflated());
    }
    const cog::bench::ProcSample cpu_before = cog::bench::sample_process(pid);
    const auto start = Clock::now();
    run_for(seconds);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const cog::bench::ProcSample cpu_after = cog::bench::sample_process(pid);

    double wire = 0, inflated = 0;
    for (size_t i = 0; i < players.size(); ++i) {
        wire += static_cast<double>(players[i].wire() - wire_before[i]);
        inflated += static_cast<double>(players[i].inflated() - inflated_before[i]);
    }
    const double per_player = wire / elapsed / count / 1024;
    const char* name = kind == Kind::Tcp ? "tcp" : kind == Kind::Web ? "websocket+deflate" : "websocket";
    std::printf("%s, %d players, %s: %.1f KB/s per player on the wire", name, count,
                push.empty() ? "lobby" : push.c_str(), per_player);
    if (kind != Kind::Tcp) std::printf(" (%.1f KB/s before compression, %.1fx)", inflated / elapsed / count / 1024,
                                       wire > 0 ? inflated / wire : 0.0);
    if (pid > 0) std::printf(", host CPU %.1f%% of a core", 100 * (cpu_after.cpu_seconds - cpu_before.cpu_seconds) / elapsed);
    std::printf("\n");
    return 0;
}

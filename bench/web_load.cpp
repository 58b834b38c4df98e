// Bandwidth and host cost per player over each transport, side by side in one run: N players in
// one process log in to a running host over TCP, over WebSocket with permessage-deflate, and over
// WebSocket with permessage-deflate and pictures as changes, one transport after the other; each
// sends one INPUT per 16 ms and reads everything the host sends. Prints, per transport, the bytes
// per player per second on the wire (and, for WebSockets, before compression), the pictures per
// second each player received (mean and the slowest player's) and, with --pid, the host's CPU share.
// With --rounds N each transport is measured N times, in an order that turns every round, and the
// table adds the rounds up.
//
//   web_load <tcp_port> <web_port> <players> <seconds>
//            [--transport all|tcp|web|web-plain|changes|changes-plain|NAME,NAME...] [--rounds N]
//            [--push SCREEN] [--pid HOST_PID]
#include "bench/client_socket.h"
#include "bench/proc_sample.h"
#include "shared/protocol/picture_change.h"
#include "tests/ws_client/ws_client.h"

#include <algorithm>
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

enum class Kind { Tcp, Web, WebPlain, Changes, ChangesPlain };

// Each transport once: how --transport names it and how the table prints it.
struct KindName {
    Kind kind;
    const char* option;
    const char* printed;
};
constexpr KindName KIND_NAMES[] = {
    {Kind::Tcp, "tcp", "tcp"},
    {Kind::Web, "web", "websocket+deflate"},
    {Kind::WebPlain, "web-plain", "websocket"},
    {Kind::Changes, "changes", "websocket+deflate+changes"},
    {Kind::ChangesPlain, "changes-plain", "websocket+changes"},
};

const char* kind_name(Kind kind) {
    for (const KindName& k : KIND_NAMES)
        if (k.kind == kind) return k.printed;
    return "?";
}

bool is_picture(std::string_view body) { return body.starts_with(R"({"kind":1,)") || body.starts_with(R"({"kind":2,)"); }

// One player over either transport; bytes are counted, and pictures by the start of each message.
struct Player {
    int fd = -1;                             // TCP
    std::unique_ptr<cog::test::WsClient> ws; // WebSocket
    size_t tcp_bytes = 0;
    size_t pictures = 0;
    std::string tcp_in; // TCP bytes not yet split into frames

    ~Player() {
        if (fd >= 0) close(fd);
    }
    void send(const cog::ClientMessage& message) {
        if (ws) {
            std::string text;
            cog::write_json(text, message);
            // Compressed when the host agreed to it, as browsers and the native client send.
            if (ws->deflate_accepted()) ws->send_compressed(text);
            else ws->send_text(text);
        } else {
            cog::bench::send_frame(fd, message);
        }
    }
    void drain() {
        if (ws) {
            for (const std::string& body : ws->receive(0)) pictures += is_picture(body);
            return;
        }
        char buffer[1 << 16];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
            tcp_bytes += static_cast<size_t>(n);
            tcp_in.append(buffer, static_cast<size_t>(n));
        }
        size_t at = 0;
        while (tcp_in.size() - at >= 4 + 10) {
            const auto* b = reinterpret_cast<const unsigned char*>(tcp_in.data() + at);
            const size_t length = size_t{b[0]} << 24 | size_t{b[1]} << 16 | size_t{b[2]} << 8 | b[3];
            if (tcp_in.size() - at < 4 + length) break;
            pictures += is_picture(std::string_view(tcp_in).substr(at + 4, 10));
            at += 4 + length;
        }
        tcp_in.erase(0, at);
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

cog::ClientMessage settings_command(std::string_view line) {
    cog::ClientMessage m;
    m.kind = cog::ClientMessageKind::SETTINGS_COMMAND;
    m.settings_command = line;
    return m;
}

// What "all" runs, and the default.
const std::vector<Kind> SIDE_BY_SIDE = {Kind::Tcp, Kind::Web, Kind::Changes};

// "all", or transports named one after another with commas ("changes,tcp").
bool parse_kinds(const std::string& list, std::vector<Kind>& kinds) {
    if (list == "all") {
        kinds = SIDE_BY_SIDE;
        return true;
    }
    kinds.clear();
    for (size_t start = 0; start <= list.size();) {
        const size_t end = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, end - start);
        const auto* known = std::find_if(std::begin(KIND_NAMES), std::end(KIND_NAMES),
                                         [&](const KindName& k) { return name == k.option; });
        if (known == std::end(KIND_NAMES)) return false;
        kinds.push_back(known->kind);
        start = end + 1;
    }
    return true;
}

struct Options {
    uint16_t tcp_port = 0, web_port = 0;
    int count = 0;
    double seconds = 0;
    std::string push;
    int pid = 0;
    int rounds = 1;
};

// What one transport's measured slices add up to.
struct Result {
    double seconds = 0;       // measured, over all slices
    double cpu_seconds = 0;   // the host's, over the same time
    double wire_bytes = 0, inflated_bytes = 0, pictures = 0; // over all players
    double slowest_rate = 1e9; // the slowest player's pictures per second, in its worst slice

    void print(const char* name, int players, bool with_cpu) const {
        char cpu[32] = "-";
        if (with_cpu) std::snprintf(cpu, sizeof cpu, "%.2f%%", 100 * cpu_seconds / seconds);
        const double per_player = seconds * players;
        std::printf("%-27s %14.1f %16.1f %10.1f (%5.1f) %10s\n", name, wire_bytes / per_player / 1024,
                    inflated_bytes / per_player / 1024, pictures / per_player, slowest_rate, cpu);
    }
};

// Logs the players in over one transport, lets them settle, measures, and lets them go.
bool run_transport(const Options& o, Kind kind, Result& result) {
    std::vector<Player> players(static_cast<size_t>(o.count));
    for (int i = 0; i < o.count; ++i) {
        Player& p = players[static_cast<size_t>(i)];
        if (kind == Kind::Tcp) {
            p.fd = cog::bench::connect_loopback(o.tcp_port);
            if (p.fd < 0) return std::fprintf(stderr, "cannot connect to %u\n", o.tcp_port), false;
        } else {
            const bool deflate = kind == Kind::Web || kind == Kind::Changes;
            const bool changes = kind == Kind::Changes || kind == Kind::ChangesPlain;
            p.ws = std::make_unique<cog::test::WsClient>(o.web_port, deflate, "/play",
                                                         changes ? cog::PICTURE_CHANGES_SUBPROTOCOL : "");
            if (!p.ws->wait_open(3000)) return std::fprintf(stderr, "no WebSocket at %u\n", o.web_port), false;
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
    const std::string push_line = "push " + o.push;
    if (!o.push.empty()) players[0].send(settings_command(push_line));
    run_for(1.0);

    std::vector<size_t> wire_before, inflated_before, pictures_before;
    for (const Player& p : players) {
        wire_before.push_back(p.wire());
        inflated_before.push_back(p.inflated());
        pictures_before.push_back(p.pictures);
    }
    const cog::bench::ProcSample cpu_before = cog::bench::sample_process(o.pid);
    const auto start = Clock::now();
    run_for(o.seconds);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const cog::bench::ProcSample cpu_after = cog::bench::sample_process(o.pid);
    // The next slice pushes the screen again onto the one below it, within the stack's room.
    if (!o.push.empty()) players[0].send(settings_command("pop"));

    result.seconds += elapsed;
    result.cpu_seconds += cpu_after.cpu_seconds - cpu_before.cpu_seconds;
    for (size_t i = 0; i < players.size(); ++i) {
        result.wire_bytes += static_cast<double>(players[i].wire() - wire_before[i]);
        result.inflated_bytes += static_cast<double>(players[i].inflated() - inflated_before[i]);
        const double pictures = static_cast<double>(players[i].pictures - pictures_before[i]);
        result.pictures += pictures;
        result.slowest_rate = std::min(result.slowest_rate, pictures / elapsed);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: %s <tcp_port> <web_port> <players> <seconds> "
                     "[--transport all|tcp|web|web-plain|changes|changes-plain|LIST] [--rounds N] [--push SCREEN] "
                     "[--pid HOST_PID]\n",
                     argv[0]);
        return 2;
    }
    Options o;
    o.tcp_port = static_cast<uint16_t>(std::atoi(argv[1]));
    o.web_port = static_cast<uint16_t>(std::atoi(argv[2]));
    o.count = std::atoi(argv[3]);
    o.seconds = std::atof(argv[4]);
    std::vector<Kind> kinds = SIDE_BY_SIDE;
    for (int i = 5; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--transport")) {
            if (!parse_kinds(argv[i + 1], kinds)) {
                std::fprintf(stderr, "unknown transport in '%s'\n", argv[i + 1]);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--push")) {
            o.push = argv[i + 1];
        } else if (!std::strcmp(argv[i], "--pid")) {
            o.pid = std::atoi(argv[i + 1]);
        } else if (!std::strcmp(argv[i], "--rounds")) {
            o.rounds = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    // The machine's other work drifts over a run by as much as the transports differ; with several
    // rounds each transport is measured in every round, in an order that turns round by round, so
    // the drift falls on all of them alike.
    std::printf("%d players, %s, %.0f s each%s\n", o.count, o.push.empty() ? "lobby" : o.push.c_str(), o.seconds,
                o.rounds > 1 ? (", in " + std::to_string(o.rounds) + " rounds").c_str() : "");
    std::vector<Result> results(kinds.size());
    for (int round = 0; round < o.rounds; ++round)
        for (size_t k = 0; k < kinds.size(); ++k) {
            const size_t which = (k + static_cast<size_t>(round)) % kinds.size();
            // The host notices the last players gone and drops them before the next ones log in.
            if (round > 0 || k > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            const Result before = results[which];
            if (!run_transport(o, kinds[which], results[which])) return 1;
            if (o.rounds > 1 && o.pid > 0)
                std::fprintf(stderr, "round %d: %s %.2f%%\n", round + 1, kind_name(kinds[which]),
                             100 * (results[which].cpu_seconds - before.cpu_seconds) /
                                 (results[which].seconds - before.seconds));
        }
    std::printf("%-27s %14s %16s %18s %10s\n", "transport", "wire KB/s", "before compr.", "pictures/s (min)",
                "host CPU");
    for (size_t k = 0; k < kinds.size(); ++k) results[k].print(kind_name(kinds[k]), o.count, o.pid > 0);
    return 0;
}

// Load generator: N clients in one process (epoll, non-blocking) log in to a running host, send one
// INPUT per 16 ms and read everything the host sends; optionally some of them flood the host with
// maximum-size frames instead, and one of the honest clients first pushes a screen with a debug
// command. Prints per-client pictures/s, the gaps between pictures, the mean picture size, and
// the host's CPU share and memory read from /proc.
//
//   load_clients <port> <clients> <seconds> [--flooders N] [--push SCREEN] [--pid HOST_PID]
#include "bench/client_socket.h"
#include "bench/proc_sample.h"
#include "shared/protocol/framing.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <vector>

using cog::bench::connect_loopback;
using cog::bench::frame_of;
using cog::bench::ProcSample;
using cog::bench::sample_process;
using Clock = std::chrono::steady_clock;

namespace {

struct Client {
    int fd = -1;
    bool flooder = false;
    // Streaming frame parser: received bytes are looked at once and never copied, so the
    // tool keeps up with hundreds of large pictures per frame.
    unsigned char header[4] = {};
    size_t header_have = 0;
    size_t body_size = 0, body_have = 0;
    char prefix[9] = {};    // the body's first bytes: tell pictures from events
    std::string outbox;     // bytes queued to send (flooders keep one big frame in flight)
    size_t out_sent = 0;
    size_t pictures = 0;
    size_t picture_bytes = 0;
    Clock::time_point last_picture{};
    std::vector<double> gaps_ms;
    bool closed = false;
};

void queue(Client& c, const std::string& bytes) {
    if (c.out_sent == c.outbox.size()) {
        c.outbox.clear();
        c.out_sent = 0;
    }
    c.outbox += bytes;
}

void flush(Client& c) {
    while (c.out_sent < c.outbox.size()) {
        const ssize_t n = send(c.fd, c.outbox.data() + c.out_sent, c.outbox.size() - c.out_sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        c.out_sent += static_cast<size_t>(n);
    }
}

void frame_done(Client& c, Clock::time_point now, bool measuring) {
    const bool picture = c.body_size >= 9 && std::memcmp(c.prefix, "{\"kind\":1", 9) == 0;
    if (picture && measuring) {
        if (c.pictures > 0) c.gaps_ms.push_back(std::chrono::duration<double, std::milli>(now - c.last_picture).count());
        ++c.pictures;
        c.picture_bytes += c.body_size;
        c.last_picture = now;
    }
    c.header_have = 0;
    c.body_have = 0;
}

// Walks the received bytes through the frame parser, counting pictures and the gaps between them.
void take_bytes(Client& c, const char* data, size_t size, Clock::time_point now, bool measuring) {
    while (size > 0) {
        if (c.header_have < 4) {
            c.header[c.header_have++] = static_cast<unsigned char>(*data++);
            --size;
            if (c.header_have == 4) {
                c.body_size = (size_t{c.header[0]} << 24) | (size_t{c.header[1]} << 16) |
                              (size_t{c.header[2]} << 8) | size_t{c.header[3]};
                if (c.body_size == 0) frame_done(c, now, measuring);
            }
            continue;
        }
        const size_t take = std::min(size, c.body_size - c.body_have);
        for (size_t i = c.body_have; i < 9 && i - c.body_have < take; ++i) c.prefix[i] = data[i - c.body_have];
        c.body_have += take;
        data += take;
        size -= take;
        if (c.body_have == c.body_size) frame_done(c, now, measuring);
    }
}

void drain(Client& c, Clock::time_point now, bool measuring) {
    static char buffer[1 << 18];
    for (;;) {
        const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            take_bytes(c, buffer, static_cast<size_t>(n), now, measuring);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) c.closed = true;
        break;
    }
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <port> <clients> <seconds> [--flooders N] [--push SCREEN] [--pid HOST_PID]\n",
                     argv[0]);
        return 2;
    }
    const uint16_t port = static_cast<uint16_t>(std::atoi(argv[1]));
    const int count = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    int flooders = 0, pid = 0;
    std::string push;
    for (int i = 4; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--flooders")) flooders = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--push")) push = argv[i + 1];
        else if (!std::strcmp(argv[i], "--pid")) pid = std::atoi(argv[i + 1]);
    }

    const ProcSample baseline = sample_process(pid);
    const int epoll = epoll_create1(0);
    std::vector<Client> clients(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Client& c = clients[static_cast<size_t>(i)];
        c.fd = connect_loopback(port);
        if (c.fd < 0) {
            std::fprintf(stderr, "connect failed\n");
            return 1;
        }
        fcntl(c.fd, F_SETFL, fcntl(c.fd, F_GETFL) | O_NONBLOCK);
        c.flooder = i >= count - flooders;
        cog::ClientMessage login;
        login.kind = cog::ClientMessageKind::LOGIN;
        const std::string name = (c.flooder ? "flood" : "load") + std::to_string(i);
        login.player_name = name;
        queue(c, frame_of(login));
        flush(c);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(epoll, EPOLL_CTL_ADD, c.fd, &event);
    }
    if (!push.empty() && count > flooders) {
        cog::ClientMessage command;
        command.kind = cog::ClientMessageKind::SETTINGS_COMMAND;
        const std::string text = "push " + push;
        command.settings_command = text;
        queue(clients[0], frame_of(command));
        flush(clients[0]);
    }

    // One maximum-size chat frame, sent over and over by every flooder: the text fills whatever
    // the message's other fields leave of the limit.
    cog::ClientMessage chat;
    chat.kind = cog::ClientMessageKind::CHAT;
    const size_t overhead = frame_of(chat).size() - 4;
    std::string flood_text(cog::MAX_FRAME_BODY - overhead, 'x');
    chat.message = flood_text;
    const std::string flood_frame = frame_of(chat);

    // A second of settling (logins, the pushed screen) before measuring.
    const auto start = Clock::now();
    const auto measure_from = start + std::chrono::seconds(1);
    const auto end = measure_from + std::chrono::duration<double>(seconds);
    ProcSample before{};
    bool sampled = false;
    std::vector<epoll_event> events(static_cast<size_t>(count));
    for (int tick = 0;; ++tick) {
        const auto now = Clock::now();
        if (now >= end) break;
        if (!sampled && now >= measure_from) {
            before = sample_process(pid);
            sampled = true;
        }
        cog::ClientMessage input;
        input.kind = cog::ClientMessageKind::INPUT;
        input.input.mouse_x = static_cast<float>(tick % 1280);
        input.input.mouse_y = 360;
        const std::string input_frame = frame_of(input);
        for (Client& c : clients) {
            if (c.closed) continue;
            if (c.flooder) {
                if (c.out_sent == c.outbox.size()) queue(c, flood_frame);
            } else {
                queue(c, input_frame);
            }
            flush(c);
        }
        const auto next = start + std::chrono::milliseconds(16 * (tick + 1));
        while (Clock::now() < next) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
            const int ready = epoll_wait(epoll, events.data(), count, static_cast<int>(std::max<int64_t>(0, wait)));
            const auto at = Clock::now();
            for (int i = 0; i < ready; ++i) drain(clients[events[static_cast<size_t>(i)].data.u32], at, at >= measure_from);
            for (Client& c : clients) {
                if (!c.flooder || c.closed) continue;
                if (c.out_sent == c.outbox.size()) queue(c, flood_frame); // as fast as the host takes it
                flush(c);
            }
        }
    }
    const ProcSample after = sample_process(pid);

    std::vector<double> rates, gaps;
    size_t pictures = 0, bytes = 0, closed = 0;
    for (const Client& c : clients) {
        closed += c.closed ? 1 : 0;
        if (c.flooder) continue;
        rates.push_back(static_cast<double>(c.pictures) / seconds);
        gaps.insert(gaps.end(), c.gaps_ms.begin(), c.gaps_ms.end());
        pictures += c.pictures;
        bytes += c.picture_bytes;
    }
    std::printf("clients %d (flooders %d), push '%s', %.1f s measured\n", count, flooders, push.c_str(), seconds);
    std::printf("pictures/s per client: median %.1f, min %.1f\n", percentile(rates, 0.5),
                rates.empty() ? 0.0 : *std::min_element(rates.begin(), rates.end()));
    std::printf("gap between pictures (ms): p50 %.1f, p99 %.1f, p99.9 %.1f, max %.1f\n", percentile(gaps, 0.5),
                percentile(gaps, 0.99), percentile(gaps, 0.999), gaps.empty() ? 0.0 : *std::max_element(gaps.begin(), gaps.end()));
    std::printf("mean picture: %.0f bytes; connections closed by the host: %zu\n",
                pictures ? static_cast<double>(bytes) / static_cast<double>(pictures) : 0.0, closed);
    if (pid > 0) {
        std::printf("host: CPU %.1f %% of one core; peak memory (VmHWM) %ld KiB before the clients, %ld KiB after "
                    "(+%ld KiB); RSS at the end %ld KiB\n",
                    100.0 * (after.cpu_seconds - before.cpu_seconds) / seconds, baseline.hwm_kb, after.hwm_kb,
                    after.hwm_kb - baseline.hwm_kb, after.rss_kb);
    }
    for (Client& c : clients) close(c.fd);
    return 0;
}

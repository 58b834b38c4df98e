// Memory attack: many logged-in clients each announce a large frame, send only its first bytes and
// hold it open, reading every picture meanwhile; prints the host's peak memory from /proc.
//
//   hold_frames <port> <clients> <hold seconds> --pid HOST_PID [--declared BYTES] [--extra BYTES]
#include "bench/client_socket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/epoll.h>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

struct Client {
    int fd = -1;
    unsigned char header[4] = {};
    size_t header_have = 0, body_size = 0, body_have = 0;
    char prefix[28] = {};
    bool logged_in = false, closed = false;
};

constexpr char INIT_PREFIX[] = "{\"kind\":0,\"event\":{\"kind\":0,";
constexpr size_t INIT_PREFIX_SIZE = sizeof INIT_PREFIX - 1;

// Walks received bytes through a frame parser that only looks for the INIT event.
void take_bytes(Client& c, const char* data, size_t size) {
    while (size > 0) {
        if (c.header_have < 4) {
            c.header[c.header_have++] = static_cast<unsigned char>(*data++);
            --size;
            if (c.header_have == 4)
                c.body_size = (size_t{c.header[0]} << 24) | (size_t{c.header[1]} << 16) | (size_t{c.header[2]} << 8) | c.header[3];
            continue;
        }
        const size_t take = std::min(size, c.body_size - c.body_have);
        for (size_t i = 0; i < take && c.body_have + i < INIT_PREFIX_SIZE; ++i) c.prefix[c.body_have + i] = data[i];
        c.body_have += take;
        data += take;
        size -= take;
        if (c.body_have == c.body_size) {
            if (c.body_size >= INIT_PREFIX_SIZE && std::memcmp(c.prefix, INIT_PREFIX, INIT_PREFIX_SIZE) == 0) c.logged_in = true;
            c.header_have = c.body_have = 0;
        }
    }
}

struct Memory {
    long rss_kb = 0, hwm_kb = 0;
};

Memory read_memory(int pid) {
    Memory m;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) m.rss_kb = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) m.hwm_kb = std::atol(line.c_str() + 6);
    }
    return m;
}

// Reads whatever is ready on every socket for up to `ms` milliseconds.
void drain(int ep, std::vector<Client>& clients, int ms) {
    static char buf[1 << 18];
    epoll_event events[256];
    const int n = epoll_wait(ep, events, 256, ms);
    for (int i = 0; i < n; ++i) {
        Client& c = clients[events[i].data.u32];
        while (!c.closed) {
            const ssize_t got = recv(c.fd, buf, sizeof buf, 0);
            if (got > 0) take_bytes(c, buf, static_cast<size_t>(got));
            else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) c.closed = true;
            else break;
        }
        if (c.closed) epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
    }
}

size_t count_if_flag(const std::vector<Client>& clients, bool Client::*flag) {
    return static_cast<size_t>(std::count_if(clients.begin(), clients.end(), [&](const Client& c) { return c.*flag; }));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <port> <clients> <hold seconds> --pid HOST_PID [--declared BYTES] [--extra BYTES]\n", argv[0]);
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const int count = std::atoi(argv[2]);
    const double hold_s = std::atof(argv[3]);
    int pid = 0;
    uint32_t declared = 1u << 20;
    size_t extra = 10;
    for (int i = 4; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--pid")) pid = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--declared")) declared = static_cast<uint32_t>(std::atol(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--extra")) extra = static_cast<size_t>(std::atol(argv[i + 1]));
    }
    if (pid <= 0) {
        std::fprintf(stderr, "--pid is required\n");
        return 2;
    }
    const Memory start = read_memory(pid);

    const int ep = epoll_create1(0);
    std::vector<Client> clients(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Client& c = clients[static_cast<size_t>(i)];
        c.fd = cog::bench::connect_loopback(port);
        if (c.fd < 0) {
            std::fprintf(stderr, "connect %d failed\n", i);
            return 1;
        }
        cog::ClientMessage login;
        const std::string name = "Hold" + std::to_string(i);
        login.player_name = name;
        cog::bench::send_frame(c.fd, login);
        fcntl(c.fd, F_SETFL, fcntl(c.fd, F_GETFL) | O_NONBLOCK);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, c.fd, &ev);
        drain(ep, clients, 0);
    }
    const auto login_deadline = Clock::now() + std::chrono::seconds(10);
    while (count_if_flag(clients, &Client::logged_in) < clients.size() && Clock::now() < login_deadline) drain(ep, clients, 10);
    const auto settle_end = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < settle_end) drain(ep, clients, 10);
    const Memory logged = read_memory(pid);
    std::printf("%zu of %d clients logged in, %zu closed by the host; host VmHWM %ld KiB at start, %ld KiB now\n",
                count_if_flag(clients, &Client::logged_in), count, count_if_flag(clients, &Client::closed), start.hwm_kb,
                logged.hwm_kb);

    // Every open client announces `declared` bytes and sends only `extra` of them.
    std::string partial{static_cast<char>(declared >> 24), static_cast<char>(declared >> 16),
                        static_cast<char>(declared >> 8), static_cast<char>(declared)};
    partial.append(extra, 'x');
    size_t announced = 0;
    for (Client& c : clients) {
        if (c.closed) continue;
        if (send(c.fd, partial.data(), partial.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(partial.size())) ++announced;
    }
    Memory peak = logged;
    const auto hold_end = Clock::now() + std::chrono::duration<double>(hold_s);
    while (Clock::now() < hold_end) {
        drain(ep, clients, 20);
        const Memory m = read_memory(pid);
        peak.rss_kb = std::max(peak.rss_kb, m.rss_kb);
        peak.hwm_kb = std::max(peak.hwm_kb, m.hwm_kb);
    }
    const Memory end = read_memory(pid);
    std::printf("%zu clients announced %u bytes and sent %zu; over %.1f s: host VmHWM %ld KiB -> %ld KiB (+%ld KiB), "
                "VmRSS peak %ld KiB, at the end %ld KiB; connections closed by the host: %zu\n",
                announced, declared, extra, hold_s, logged.hwm_kb, std::max(peak.hwm_kb, end.hwm_kb),
                std::max(peak.hwm_kb, end.hwm_kb) - logged.hwm_kb, peak.rss_kb, end.rss_kb,
                count_if_flag(clients, &Client::closed));
    for (Client& c : clients) close(c.fd);
    return 0;
}

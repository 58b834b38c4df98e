// Load generator: N clients log in to a host and send one INPUT per 16 ms while reading
// everything the host sends, for a given number of seconds. Prints what the clients received.
//
//   load_clients <port> <clients> <seconds>
#include "bench/client_socket.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using cog::bench::connect_loopback;
using cog::bench::send_frame;

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <port> <clients> <seconds>\n", argv[0]);
        return 2;
    }
    const uint16_t port = static_cast<uint16_t>(std::atoi(argv[1]));
    const int count = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        int fd = connect_loopback(port);
        if (fd < 0) {
            std::fprintf(stderr, "connect failed\n");
            return 1;
        }
        cog::ClientMessage login;
        login.kind = cog::ClientMessageKind::LOGIN;
        std::string name = "load" + std::to_string(i);
        login.player_name = name;
        send_frame(fd, login);
        fds.push_back(fd);
    }
    const auto start = std::chrono::steady_clock::now();
    size_t bytes = 0;
    int tick = 0;
    char buffer[1 << 16];
    while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
        cog::ClientMessage input;
        input.kind = cog::ClientMessageKind::INPUT;
        input.input.mouse_x = static_cast<float>(tick % 1280);
        input.input.mouse_y = 360;
        input.input.space = (tick / 60) % 2 == 1;
        for (int fd : fds) send_frame(fd, input);
        const auto next = start + std::chrono::milliseconds(16 * (tick + 1));
        while (std::chrono::steady_clock::now() < next) {
            std::vector<pollfd> polls;
            for (int fd : fds) polls.push_back({fd, POLLIN, 0});
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
            if (poll(polls.data(), polls.size(), static_cast<int>(std::max<int64_t>(0, wait.count()))) <= 0) continue;
            for (const pollfd& p : polls) {
                if (!(p.revents & POLLIN)) continue;
                ssize_t n = recv(p.fd, buffer, sizeof buffer, 0);
                if (n > 0) bytes += static_cast<size_t>(n);
            }
        }
        ++tick;
    }
    std::printf("clients %d, seconds %.1f, bytes received %zu (%.1f KB/s per client)\n", count, seconds, bytes,
                static_cast<double>(bytes) / seconds / 1024.0 / count);
    for (int fd : fds) close(fd);
    return 0;
}

// TLS handshake spam against a host serving its web port over TLS: threads connecting from
// 127.0.0.x addresses, each sending one prepared ClientHello, waiting for the first bytes of the
// answer (or a short while) and resetting; no cryptography on this side. Prints the hellos sent
// per second and how many were answered with a ServerHello (a handshake the host worked on) or
// an alert. Run an honest player (load_clients) beside it.
//
//   tls_hello_spam <web_port> <seconds> [--threads N] [--sources K] [--first X]
//
// The sources are 127.0.0.X .. 127.0.0.(X+K-1) (X = 10 by default), spread over the threads.
#include "tests/support/tls_client_hello.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Counts {
    std::atomic<long> sent{0}, handshakes{0}, alerts{0}, failed{0};
};

int connect_from(const std::string& source, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Closed with a reset, as an attacker leaves: nothing lingers on this side.
void reset(int fd) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(fd);
}

void spam(uint16_t port, std::vector<std::string> sources, const std::string& hello, Clock::time_point end,
          Counts& counts) {
    for (size_t i = 0; Clock::now() < end; ++i) {
        const int fd = connect_from(sources[i % sources.size()], port);
        if (fd < 0) {
            ++counts.failed;
            usleep(1000);
            continue;
        }
        if (send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(hello.size())) ++counts.sent;
        pollfd p{fd, POLLIN, 0};
        unsigned char record = 0;
        if (poll(&p, 1, 200) > 0 && recv(fd, &record, 1, MSG_DONTWAIT) == 1) {
            if (record == 0x16) ++counts.handshakes; // the ServerHello: the host did the costly half
            else if (record == 0x15) ++counts.alerts;
        }
        reset(fd);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <web_port> <seconds> [--threads N] [--sources K] [--first X]\n", argv[0]);
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const double seconds = std::atof(argv[2]);
    int threads = 12, sources = 1, first = 10;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--threads")) threads = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--sources")) sources = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--first")) first = std::atoi(argv[i + 1]);
    }
    const std::string hello = cog::test::prepared_client_hello();
    if (hello.empty()) {
        std::fprintf(stderr, "could not make a ClientHello\n");
        return 1;
    }
    Counts counts;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        std::vector<std::string> mine;
        for (int s = t % sources; s < sources; s += threads) mine.push_back("127.0.0." + std::to_string(first + s));
        if (mine.empty()) mine.push_back("127.0.0." + std::to_string(first + t % sources));
        workers.emplace_back(spam, port, std::move(mine), hello, end, std::ref(counts));
    }
    for (auto& w : workers) w.join();
    std::printf("%d threads from %d addresses, %.0f s: %.0f hellos/s sent, %.0f/s answered with a ServerHello, %.0f/s "
                "with an alert, %.0f/s connects failed\n",
                threads, sources, seconds, counts.sent / seconds, counts.handshakes / seconds, counts.alerts / seconds,
                counts.failed / seconds);
    return 0;
}

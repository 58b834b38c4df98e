// A burst of WebSockets from one address against a running host's web port, opened at once, then
// each sending one small compressed message that inflates to more than a megabyte; in rounds.
// Prints the host's resident memory before, at its peak and a while after every socket has
// closed. Run an honest player (load_clients) beside it for the gaps between its pictures.
//
//   web_burst <web_port> <host_pid> [--sockets N] [--rounds R] [--source 127.0.0.X]
#include "bench/proc_sample.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using cog::bench::sample_process;

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

// `body` deflated as permessage-deflate sends it: raw deflate, the final empty block's tail cut.
std::string deflated(const std::string& body) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(body.size() / 100 + 1024, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = static_cast<uInt>(body.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_SYNC_FLUSH);
    out.resize(out.size() - z.avail_out - 4);
    deflateEnd(&z);
    return out;
}

std::string upgrade_request(uint16_t port) {
    return "GET /play HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
           "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Extensions: permessage-deflate; client_max_window_bits\r\n\r\n";
}

// One compressed text message, masked with a zero key.
std::string compressed_message(const std::string& compressed) {
    std::string bytes;
    bytes += static_cast<char>(0xC1); // FIN, compressed, text
    bytes += static_cast<char>(0x80 | 126);
    bytes += static_cast<char>(compressed.size() >> 8);
    bytes += static_cast<char>(compressed.size() & 0xff);
    bytes.append(4, '\0');
    return bytes + compressed;
}

// The whole answer to an upgrade, read within `wait_ms`; true when it is 101.
bool upgraded(int fd, int wait_ms) {
    std::string answer;
    char buffer[1024];
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    while (answer.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < until) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0) return false;
        if (n > 0) answer.append(buffer, size_t(n));
        else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return answer.size() >= 12 && answer.compare(9, 3, "101") == 0;
}

int connect_from(const char* source, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sockets whose upgrade the host answered: all are opened at once, then each sends its message.
int round_of(uint16_t port, int sockets, const char* source, const std::string& message) {
    const std::string request = upgrade_request(port);
    std::vector<int> burst;
    for (int i = 0; i < sockets; ++i) {
        const int fd = connect_from(source, port);
        if (fd < 0) continue;
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        burst.push_back(fd);
    }
    int answered = 0;
    for (int fd : burst)
        if (upgraded(fd, 200)) {
            send(fd, message.data(), message.size(), MSG_NOSIGNAL);
            ++answered;
        }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (int fd : burst) close(fd);
    return answered;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <web_port> <host_pid> [--sockets N] [--rounds R] [--source 127.0.0.X]\n",
                     argv[0]);
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
    // A little over the largest message a browser may send, of one repeated letter: 1.2 KB
    // compressed. Its sender is dropped, but only once the library has inflated it.
    const std::string compressed = deflated(std::string(1258291, 'a'));
    const std::string message = compressed_message(compressed);
    const long before = sample_process(pid).rss_kb;
    long peak = 0;
    int upgraded = 0;
    {
        PeakWatch watch(pid);
        for (int r = 0; r < rounds; ++r) upgraded += round_of(port, sockets, source, message);
        // Every socket gone, whatever closed it: those waiting for a LOGIN are given up after 5 s.
        std::this_thread::sleep_for(std::chrono::seconds(7));
        peak = watch.peak_kb;
    }
    const long after = sample_process(pid).rss_kb;
    std::printf("%d rounds of %d WebSockets from %s (%d upgraded in all, bombs of %zu bytes): host RSS before %.0f MB, "
                "peak %.0f MB, after %.0f MB\n",
                rounds, sockets, source, upgraded, compressed.size(), before / 1024.0, peak / 1024.0, after / 1024.0);
    return 0;
}

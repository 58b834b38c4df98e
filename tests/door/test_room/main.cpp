// A stand-in room for the door's tests: takes a host's options, listens on --web-port, says on
// its output what each connection began with (the PROXY header, the request line, Host, Origin),
// answers the upgrade and then writes to the player as fast as the door takes bytes.
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

std::string header_value(const std::string& head, std::string_view name) {
    const size_t at = head.find(std::string("\r\n") + std::string(name) + ": ");
    if (at == std::string::npos) return "-";
    const size_t start = at + 4 + name.size();
    return head.substr(start, head.find("\r\n", start) - start);
}

void serve(int fd) {
    std::string in;
    char chunk[4096];
    while (in.find("\r\n\r\n") == std::string::npos && in.size() < 65536) {
        const ssize_t got = ::recv(fd, chunk, sizeof(chunk), 0);
        if (got <= 0) {
            ::close(fd);
            return;
        }
        in.append(chunk, static_cast<size_t>(got));
    }
    std::string proxy = "none";
    static constexpr char SIGNATURE[] = "\r\n\r\n\0\r\nQUIT\n";
    if (in.size() >= 16 && in.compare(0, 12, std::string(SIGNATURE, 12)) == 0) {
        const size_t length = 16 + (static_cast<unsigned char>(in[14]) << 8 | static_cast<unsigned char>(in[15]));
        proxy.clear();
        for (size_t i = 0; i < length && i < in.size(); ++i) {
            char hex[3];
            std::snprintf(hex, sizeof(hex), "%02x", static_cast<unsigned char>(in[i]));
            proxy += hex;
        }
        in.erase(0, length);
    }
    std::printf("test room: proxy %s request %s host %s origin %s\n", proxy.c_str(), in.substr(0, in.find("\r\n")).c_str(),
                header_value(in, "Host").c_str(), header_value(in, "Origin").c_str());
    std::fflush(stdout);
    const std::string answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n";
    ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    const std::string flood(65536, 'x');
    size_t total = 0, reported = 0;
    for (;;) {
        const ssize_t sent = ::send(fd, flood.data(), flood.size(), MSG_NOSIGNAL);
        if (sent <= 0) break;
        total += static_cast<size_t>(sent);
        if (total - reported >= 1 << 20) {
            reported = total;
            std::printf("test room: flooded %zu\n", total);
            std::fflush(stdout);
        }
    }
    ::close(fd);
}

} // namespace

int main(int argc, char** argv) {
    int port = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--web-port") == 0) port = std::atoi(argv[i + 1]);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(listener, 16) != 0) return 1;
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd >= 0) std::thread(serve, fd).detach();
    }
}

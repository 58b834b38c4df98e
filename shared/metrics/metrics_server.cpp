// Accepting, reading and answering scrapes on the metrics port, one at a time.
#include "shared/metrics/metrics_server.h"

#include "shared/metrics/families.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::metrics {

namespace {

using Deadline = std::chrono::steady_clock::time_point;

int ms_left(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for `events` on `fd` until the deadline; false when it passed or the socket failed.
bool wait_for(int fd, short events, Deadline deadline) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = poll(&p, 1, ms_left(deadline));
        if (n > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0;
        if (n == 0 || errno != EINTR) return false;
    }
}

// The request's head, up to its blank line; empty when it never came whole in time.
std::string read_head(int client, Deadline deadline, bool& too_large) {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() >= MAX_REQUEST_BYTES) {
            too_large = true;
            return {};
        }
        if (!wait_for(client, POLLIN, deadline)) return {};
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return {};
        head.append(buffer, static_cast<size_t>(n));
    }
    return head;
}

void send_all(int client, std::string_view data, Deadline deadline) {
    while (!data.empty()) {
        const ssize_t n = send(client, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        if (!wait_for(client, POLLOUT, deadline)) return;
    }
}

std::string response(std::string_view status, std::string_view type, std::string_view body, bool with_body) {
    std::string out = "HTTP/1.1 ";
    out += status;
    out += "\r\nContent-Type: ";
    out += type;
    out += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    if (with_body) out += body;
    return out;
}

// "/metrics", with or without a query.
bool is_metrics_target(std::string_view target) {
    return target == "/metrics" || target.starts_with("/metrics?");
}

} // namespace

const char* metrics_server_error_name(MetricsServerError error) {
    switch (error) {
    case MetricsServerError::None: return "none";
    case MetricsServerError::Socket: return "cannot create a socket";
    case MetricsServerError::Bind: return "cannot bind the port (in use?)";
    case MetricsServerError::Listen: return "cannot listen";
    }
    return "?";
}

std::unique_ptr<MetricsServer> MetricsServer::open(uint16_t port, RenderMetrics render, MetricsServerError& error) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = MetricsServerError::Socket;
        return nullptr;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        error = MetricsServerError::Bind;
        return nullptr;
    }
    // A short backlog: scrapers wait their turn, and a crowd beyond it is refused by the system.
    if (listen(fd, 8) != 0) {
        close(fd);
        error = MetricsServerError::Listen;
        return nullptr;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        close(fd);
        error = MetricsServerError::Socket;
        return nullptr;
    }
    error = MetricsServerError::None;
    return std::unique_ptr<MetricsServer>(new MetricsServer(fd, wake, ntohs(address.sin_port), std::move(render)));
}

MetricsServer::MetricsServer(int listener, int wake_fd, uint16_t port, RenderMetrics render)
    : listener_(listener), wake_fd_(wake_fd), port_(port), render_(std::move(render)), thread_([this] { run(); }) {}

MetricsServer::~MetricsServer() {
    stopping_.store(true);
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
    thread_.join();
    close(listener_);
    close(wake_fd_);
}

void MetricsServer::run() {
    // Named, so its share of the CPU can be read apart from the loop's (top -H, /proc/PID/task).
    pthread_setname_np(pthread_self(), "cog-metrics");
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    while (!stopping_.load()) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        if (!(fds[0].revents & POLLIN)) continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) continue;
        serve(client);
        close(client);
    }
}

void MetricsServer::serve(int client) {
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(REQUEST_TIMEOUT_MS);
    bool too_large = false;
    const std::string head = read_head(client, deadline, too_large);
    if (too_large) {
        send_all(client, response("431 Request Header Fields Too Large", "text/plain", "", false), deadline);
        return;
    }
    if (head.empty()) return;
    const std::string_view line = std::string_view(head).substr(0, head.find("\r\n"));
    const size_t space = line.find(' ');
    const std::string_view method = line.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? "" : line.substr(space + 1);
    const std::string_view target = rest.substr(0, rest.find(' '));
    if (method != "GET" && method != "HEAD") {
        send_all(client, response("405 Method Not Allowed", "text/plain", "", false), deadline);
    } else if (!is_metrics_target(target)) {
        send_all(client, response("404 Not Found", "text/plain", "Not found\n", method == "GET"), deadline);
    } else {
        const std::string body = render_();
        send_all(client, response("200 OK", EXPOSITION_CONTENT_TYPE, body, method == "GET"), deadline);
    }
}

} // namespace cog::metrics

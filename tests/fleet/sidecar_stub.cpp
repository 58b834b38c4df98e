// The stand-in sidecar: accepts one connection at a time, reads one request, answers it.
#include "tests/fleet/sidecar_stub.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace cog::test {

namespace {
int loopback_listener(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = 0;
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 64);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

// Reads until the headers and the body they announce are in, or the peer goes quiet.
std::string read_request(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const size_t head_end = text.find("\r\n\r\n");
        if (head_end != std::string::npos) {
            size_t length = 0;
            const size_t at = text.find("Content-Length:");
            if (at != std::string::npos && at < head_end) length = std::strtoul(text.c_str() + at + 15, nullptr, 10);
            if (text.size() >= head_end + 4 + length) return text;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return text;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return text;
        text.append(buffer, static_cast<size_t>(n));
    }
}
} // namespace

SidecarStub::SidecarStub() {
    listener_ = loopback_listener(port_);
    thread_ = std::thread([this] { serve(); });
}

SidecarStub::~SidecarStub() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void SidecarStub::serve() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) continue;
        answer(fd);
        ::close(fd);
    }
}

void SidecarStub::answer(int fd) {
    const std::string request = read_request(fd);
    const size_t line_end = request.find("\r\n");
    const size_t head_end = request.find("\r\n\r\n");
    if (line_end == std::string::npos || head_end == std::string::npos) return;
    const std::string line = request.substr(0, line_end);
    const size_t space1 = line.find(' ');
    const size_t space2 = line.find(' ', space1 + 1);
    const SidecarHit hit{line.substr(0, space1), line.substr(space1 + 1, space2 - space1 - 1),
                         request.substr(head_end + 4)};
    std::pair<int, std::string> answer{status.load(), "{}"};
    {
        std::lock_guard lock(mutex_);
        hits_.push_back(hit);
        if (answer.first == 200) answer = respond(hit);
    }
    for (int waited = 0; waited < reply_delay_ms && !stop_; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string reply = "HTTP/1.1 " + std::to_string(answer.first) +
                              " X\r\nContent-Type: application/json\r\nContent-Length: " +
                              std::to_string(answer.second.size()) + "\r\nConnection: close\r\n\r\n" + answer.second;
    ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
}

std::pair<int, std::string> SidecarStub::respond(const SidecarHit& hit) {
    const std::string route = hit.method + " " + hit.path;
    if (route == "POST /ready" || route == "POST /health" || route == "POST /shutdown" ||
        route == "PUT /metadata/label")
        return {200, "{}"};
    if (route == "GET /gameserver")
        return {200, R"({"object_meta":{"name":"room-1","labels":{"state":"x"}},"spec":{},"status":{"state":")" +
                         state_ + R"(","address":"127.0.0.1"}})"};
    if (route == "POST /v1beta1/lists/players:addValue") return change_list(hit, true);
    if (route == "POST /v1beta1/lists/players:removeValue") return change_list(hit, false);
    return {404, R"({"code":5,"message":"Not Found"})"};
}

// Agones' rules for a List: no value twice, none beyond the capacity, none removed that is absent.
std::pair<int, std::string> SidecarStub::change_list(const SidecarHit& hit, bool add) {
    const std::string key = R"("value":")";
    const size_t at = hit.body.find(key);
    if (at == std::string::npos) return {400, R"({"code":3,"message":"INVALID_ARGUMENT"})"};
    const size_t end = hit.body.find('"', at + key.size());
    const std::string value = hit.body.substr(at + key.size(), end - at - key.size());
    const auto found = std::find(list_.begin(), list_.end(), value);
    if (!add) {
        if (found == list_.end()) return {404, R"({"code":5,"message":"NOT_FOUND. Value not found in List"})"};
        list_.erase(found);
    } else if (found != list_.end()) {
        return {409, R"({"code":6,"message":"ALREADY_EXISTS. Value already in List"})"};
    } else if (list_.size() >= list_capacity) {
        return {400, R"({"code":11,"message":"OUT_OF_RANGE. No available capacity"})"};
    } else {
        list_.push_back(value);
    }
    return {200, R"({"name":"players"})"};
}

void SidecarStub::set_state(const std::string& state) {
    std::lock_guard lock(mutex_);
    state_ = state;
}

std::vector<std::string> SidecarStub::list() {
    std::lock_guard lock(mutex_);
    return list_;
}

std::vector<SidecarHit> SidecarStub::hits() {
    std::lock_guard lock(mutex_);
    return hits_;
}

std::vector<std::string> SidecarStub::bodies(const std::string& path) {
    std::vector<std::string> found;
    for (const SidecarHit& hit : hits())
        if (hit.path == path) found.push_back(hit.body);
    return found;
}

size_t SidecarStub::count(const std::string& path) { return bodies(path).size(); }

uint16_t closed_port() {
    uint16_t port = 0;
    ::close(loopback_listener(port));
    return port;
}

bool settle(const std::function<void()>& step, const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto give_up = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        step();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace cog::test

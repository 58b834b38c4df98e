// The real cogwell-door as a child process on a free port, its output collected, and plain HTTP
// requests to it from chosen loopback addresses.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace cog::test {

class DoorProcess {
public:
    // Starts the door with `options` after "--port 0 --web-root <built client>".
    explicit DoorProcess(const std::vector<std::string>& options);
    ~DoorProcess(); // SIGKILL when still running
    DoorProcess(const DoorProcess&) = delete;
    DoorProcess& operator=(const DoorProcess&) = delete;

    uint16_t port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string output() const;
    // The first output line holding `text` after position `from`, waiting at most `wait_ms`
    // ("" when none came).
    std::string wait_for_line(std::string_view text, int wait_ms, size_t from = 0) const;
    void kill_now(); // SIGKILL and reaped

private:
    pid_t pid_ = -1;
    int output_fd_ = -1;
    uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::string output_;
    std::atomic<bool> stop_reading_{false};
    std::thread reader_;
};

struct HttpAnswer {
    int status = 0; // 0: no answer
    std::string head, body;
};

// One request with "Connection: close", sent from loopback address `source`; waits at most 5 s.
// A TCP connection to the door on loopback from `source` (other 127.x addresses stand in for
// remote machines); -1 when refused.
int connect_from(const char* source, uint16_t port);
HttpAnswer http_request(uint16_t port, std::string_view method, std::string_view path, const char* source = "127.0.0.1");

// The value of "key":"value" in a flat JSON object ("" when absent).
std::string json_string(std::string_view json, std::string_view key);

// Whether the host program reads a PROXY header (its --help lists --trusted-proxy): until it
// does, its rooms are started without the header.
bool host_reads_proxy_header();

// A loopback port free at this moment (for the door's metrics).
uint16_t free_port();

// Whether process `pid` is gone (or only a zombie left for its new parent).
bool process_gone(pid_t pid);

} // namespace cog::test

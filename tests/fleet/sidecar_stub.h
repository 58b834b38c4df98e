// A stand-in for the fleet manager's sidecar: a loopback HTTP server on its own thread that
// records every call and answers it, after a chosen delay, as Agones does where the host relies on
// it: a player List of limited capacity, the GameServer's state, 404 for paths it does not serve.
// A chosen status other than 200 overrides every answer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace cog::test {

struct SidecarHit {
    std::string method;
    std::string path;
    std::string body;
};

class SidecarStub {
public:
    SidecarStub();
    ~SidecarStub();
    SidecarStub(const SidecarStub&) = delete;
    SidecarStub& operator=(const SidecarStub&) = delete;

    uint16_t port() const { return port_; }
    std::atomic<int> reply_delay_ms{0};
    std::atomic<int> status{200};
    std::atomic<size_t> list_capacity{9};

    void set_state(const std::string& state);
    std::vector<std::string> list(); // the player List's values, in the order added

    std::vector<SidecarHit> hits();
    std::vector<std::string> bodies(const std::string& path);
    size_t count(const std::string& path);

private:
    void serve();
    void answer(int fd);
    // Status and body of the answer to one call, as Agones would give them.
    std::pair<int, std::string> respond(const SidecarHit& hit);
    std::pair<int, std::string> change_list(const SidecarHit& hit, bool add);

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SidecarHit> hits_;
    std::vector<std::string> list_;
    std::string state_ = "Ready";
    std::thread thread_;
};

// A loopback port with nothing listening on it: an absent sidecar.
uint16_t closed_port();

// Repeats `step` (with short real pauses) until `done` holds, at most `limit` of real time.
bool settle(const std::function<void()>& step, const std::function<bool()>& done,
            std::chrono::milliseconds limit = std::chrono::milliseconds(3000));

} // namespace cog::test

// A stand-in Kubernetes API server with Agones installed: a loopback HTTP server on its own thread
// holding a few GameServers, answering allocations and label lookups as the API server does, and
// noting every request that is not what Agones' types accept (method, path, fields, token).
#pragma once

#include "door/agones_json.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace cog::test {

struct StandInGameServer {
    std::string name;
    std::string state = "Ready";
    std::map<std::string, std::string> labels;
    std::string node_address = "127.0.0.1"; // the node's InternalIP and status.address
    uint16_t web_port = 0;
    uint16_t game_port = 7000;
};

// The field paths of tests/deploy/agones_fields.txt, by kind ("GameServerAllocation", ...).
using AgonesFields = std::map<std::string, std::set<std::string>>;
AgonesFields load_agones_fields(const std::string& path);
// Each field of `value` not among the kind's paths, as "kind: path".
void unknown_fields(const AgonesFields& fields, const std::string& kind, const door::JsonValue& value,
                    std::vector<std::string>& out);

class AgonesApiStub {
public:
    AgonesApiStub(std::string namespace_name, std::string token, AgonesFields fields);
    ~AgonesApiStub();
    AgonesApiStub(const AgonesApiStub&) = delete;
    AgonesApiStub& operator=(const AgonesApiStub&) = delete;

    uint16_t port() const { return port_; }
    std::atomic<int> forced_status{0};            // not 0: every request is answered with it
    std::atomic<int> forced_allocation_status{0}; // not 0: every allocation is answered with it

    void add(StandInGameServer server);
    void set_state(const std::string& name, const std::string& state);
    StandInGameServer server(const std::string& name);
    std::vector<std::string> problems();
    std::vector<std::string> requests(); // "METHOD target", in order

private:
    void serve();
    void answer(int fd);
    std::pair<int, std::string> respond(const std::string& method, const std::string& target,
                                        const std::string& headers, const std::string& body);
    std::pair<int, std::string> allocate(const std::string& body);
    std::pair<int, std::string> list(const std::string& selector);
    void check_answer(const std::string& kind, const std::string& body);

    std::string namespace_;
    std::string token_;
    AgonesFields fields_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::map<std::string, StandInGameServer> servers_; // by name, the API server's list order
    std::vector<std::string> problems_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

} // namespace cog::test

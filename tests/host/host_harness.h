// An in-process host on an ephemeral port, driven frame by frame, and real TCP clients for it.
#pragma once

#include "server/main/host.h"
#include "shared/protocol/messages.h"
#include "tests/support/test_world.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cog::test {

// A decoded server message that owns its bytes.
struct ReceivedMessage {
    std::string body; // the raw JSON text
    ServerMessage message;
    std::unique_ptr<std::pmr::monotonic_buffer_resource> arena;
};

class TestClient {
public:
    // `source`: the loopback address to connect from; other 127.x addresses stand in for remote
    // machines, which the per-address limits count (127.0.0.1 is this machine: never counted).
    explicit TestClient(uint16_t port, int receive_buffer_bytes = 0, const char* source = "127.0.0.1");
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void send_raw(std::string_view bytes);
    void send_frame(std::string_view body); // length prefix + body
    void send_message(const ClientMessage& message);
    // Without `secret`, the LOGIN of a client that knows nothing of reconnection secrets.
    void send_login(std::string_view name, uint32_t previous_id = 0,
                    std::optional<std::string_view> secret = std::nullopt);
    void send_input(const InputState& input);
    void send_command(std::string_view line);

    // Every message that arrives within `wait_ms` (the wait restarts after each message).
    std::vector<ReceivedMessage> receive_all(int wait_ms = 20);
    // True when the host has closed this connection (EOF or reset seen).
    bool closed_by_peer(int wait_ms = 50);
    void close();

private:
    bool read_some(int wait_ms);
    std::optional<ReceivedMessage> take_frame();

    int fd_ = -1;
    std::string inbox_;
    bool eof_ = false;
};

// Counts events of a kind, and draw-command messages.
size_t count_events(const std::vector<ReceivedMessage>& messages, EventKind kind);
size_t count_draws(const std::vector<ReceivedMessage>& messages);
const ReceivedMessage* first_event(const std::vector<ReceivedMessage>& messages, EventKind kind);

struct HostHarness {
    FakeClock clock;
    SeededRandom random{99};
    std::atomic<bool> stop{false};
    std::unique_ptr<Host> host;

    // The web endpoint is off unless `web`, and then on a free port with the built web client.
    // `configure` may change the configuration last (a recording's clock and observer, say).
    explicit HostHarness(bool open_window = false, uint16_t port = 0,
                         DebugCommandsMode debug_commands = DebugCommandsMode::OPEN, bool web = false,
                         const std::function<void(HostConfig&)>& configure = {});
    bool start() { return host->start(); }
    uint16_t port() const { return host->port(); }
    uint16_t web_port() const { return host->web_port(); }
    HostState& state() { return host->state(); }
    void frames(int n);
    // Runs frames until `done` holds, at most `max_frames`; true when it held.
    bool frames_until(const std::function<bool()>& done, int max_frames = 200);
    // A client that has logged in and received its INIT; returns its id.
    uint32_t login(TestClient& client, std::string_view name, uint32_t previous_id = 0);
    // The same presenting a reconnection secret ("" when the client has none yet; nullopt: a
    // client that knows nothing of secrets). Returns the id and the secret its INIT gave.
    struct Seat {
        uint32_t id = 0;
        std::string secret;
    };
    Seat claim_seat(TestClient& client, std::string_view name, uint32_t previous_id,
                    std::optional<std::string_view> secret);
};

// The real host program, headless, with its standard output on a pipe whose read end is `output`.
struct HostProcess {
    int pid = -1; // -1: fork failed
    int output = -1;
};
HostProcess spawn_host_process(const std::vector<const char*>& options);
// Reads the host's output as far as its game port and returns the port (0: never listened).
uint16_t read_until_listening(int fd, std::string& output);
// SIGTERM (unless `terminate` is false: it was sent already), the rest of the output read to its
// end, and the exit status.
int stop_host(const HostProcess& host, std::string* rest_of_output, bool terminate = true);

} // namespace cog::test

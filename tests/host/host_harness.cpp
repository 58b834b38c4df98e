// Host harness and TCP test client.
#include "tests/host/host_harness.h"

#include "shared/protocol/json.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace cog::test {

TestClient::TestClient(uint16_t port, int receive_buffer_bytes, const char* source) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer_bytes > 0)
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes, sizeof receive_buffer_bytes);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    // Like a game client: every frame goes out at once instead of waiting for the last ACK.
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

TestClient::~TestClient() { close(); }

void TestClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TestClient::send_raw(std::string_view bytes) {
    size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

void TestClient::send_frame(std::string_view body) {
    const uint32_t n = static_cast<uint32_t>(body.size());
    const char header[4] = {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                            static_cast<char>(n)};
    std::string frame(header, 4);
    frame.append(body);
    send_raw(frame);
}

void TestClient::send_message(const ClientMessage& message) {
    std::string text;
    write_json(text, message);
    send_frame(text);
}

void TestClient::send_login(std::string_view name, uint32_t previous_id, std::optional<std::string_view> secret) {
    ClientMessage message;
    message.kind = ClientMessageKind::LOGIN;
    message.player_name = name;
    message.previous_player_id = previous_id;
    message.reconnect_secret = secret;
    send_message(message);
}

void TestClient::send_input(const InputState& input) {
    ClientMessage message;
    message.kind = ClientMessageKind::INPUT;
    message.input = input;
    send_message(message);
}

void TestClient::send_command(std::string_view line) {
    ClientMessage message;
    message.kind = ClientMessageKind::SETTINGS_COMMAND;
    message.settings_command = line;
    send_message(message);
}

bool TestClient::read_some(int wait_ms) {
    if (fd_ < 0 || eof_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, wait_ms) <= 0) return false;
    char buffer[65536];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
        eof_ = true;
        return false;
    }
    inbox_.append(buffer, static_cast<size_t>(n));
    return true;
}

std::optional<ReceivedMessage> TestClient::take_frame() {
    if (inbox_.size() < 4) return std::nullopt;
    const auto* h = reinterpret_cast<const unsigned char*>(inbox_.data());
    const size_t n = (size_t{h[0]} << 24) | (size_t{h[1]} << 16) | (size_t{h[2]} << 8) | size_t{h[3]};
    if (inbox_.size() < 4 + n) return std::nullopt;
    ReceivedMessage received;
    received.body = inbox_.substr(4, n);
    inbox_.erase(0, 4 + n);
    received.arena = std::make_unique<std::pmr::monotonic_buffer_resource>();
    read_json(received.body, received.message, received.arena.get());
    return received;
}

std::vector<ReceivedMessage> TestClient::receive_all(int wait_ms) {
    std::vector<ReceivedMessage> out;
    for (;;) {
        while (auto frame = take_frame()) out.push_back(std::move(*frame));
        if (!read_some(wait_ms)) break;
    }
    while (auto frame = take_frame()) out.push_back(std::move(*frame));
    return out;
}

bool TestClient::closed_by_peer(int wait_ms) {
    while (!eof_ && read_some(wait_ms)) {
    }
    return eof_;
}

size_t count_events(const std::vector<ReceivedMessage>& messages, EventKind kind) {
    size_t n = 0;
    for (const auto& m : messages)
        n += m.message.kind == ServerMessageKind::EVENT && m.message.event.kind == kind ? 1 : 0;
    return n;
}

size_t count_draws(const std::vector<ReceivedMessage>& messages) {
    size_t n = 0;
    for (const auto& m : messages) n += m.message.kind == ServerMessageKind::DRAW_COMMANDS ? 1 : 0;
    return n;
}

const ReceivedMessage* first_event(const std::vector<ReceivedMessage>& messages, EventKind kind) {
    for (const auto& m : messages)
        if (m.message.kind == ServerMessageKind::EVENT && m.message.event.kind == kind) return &m;
    return nullptr;
}

HostHarness::HostHarness(bool open_window, uint16_t port, DebugCommandsMode debug_commands, bool web,
                         const std::function<void(HostConfig&)>& configure) {
    HostConfig config;
    config.port = port;
    config.debug_commands = debug_commands;
    config.web_port = 0;
    config.web_port_any = web;
    config.web_root = COG_WEB_ROOT;
    config.clock = &clock;
    config.random = &random;
    config.open_window = open_window;
    config.stop_requested = &stop;
    // Every test client comes from this one machine; the tests of the per-address limits set them.
    config.max_players_per_address = 0;
    config.pending_logins_per_address = 0;
    config.handshakes_per_address = 0;
    if (configure) configure(config);
    host = std::make_unique<Host>(config);
}

void HostHarness::frames(int n) {
    for (int i = 0; i < n; ++i) host->frame();
}

bool HostHarness::frames_until(const std::function<bool()>& done, int max_frames) {
    for (int i = 0; i < max_frames; ++i) {
        if (done()) return true;
        host->frame();
    }
    return done();
}

uint32_t HostHarness::login(TestClient& client, std::string_view name, uint32_t previous_id) {
    return claim_seat(client, name, previous_id, std::nullopt).id;
}

HostHarness::Seat HostHarness::claim_seat(TestClient& client, std::string_view name, uint32_t previous_id,
                                          std::optional<std::string_view> secret) {
    client.send_login(name, previous_id, secret);
    Seat seat;
    frames_until(
        [&] {
            for (auto& m : client.receive_all(5)) {
                if (m.message.kind != ServerMessageKind::EVENT || m.message.event.kind != EventKind::INIT) continue;
                seat.id = m.message.event.client_id;
                seat.secret = m.message.event.reconnect_secret.value_or("");
            }
            return seat.id != 0;
        },
        50);
    return seat;
}

HostProcess spawn_host_process(const std::vector<const char*>& options) {
    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        std::vector<const char*> argv{COG_HOST_BINARY};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(nullptr);
        execv(COG_HOST_BINARY, const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(out[1]);
    return {pid, out[0]};
}

uint16_t read_until_listening(int fd, std::string& output) {
    char buffer[512];
    const std::string listening = "Server listening on 0.0.0.0:";
    size_t at = std::string::npos;
    while ((at = output.find(listening)) == std::string::npos || output.find('\n', at) == std::string::npos) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return 0;
        output.append(buffer, static_cast<size_t>(n));
    }
    return static_cast<uint16_t>(std::stoi(output.substr(at + listening.size())));
}

int stop_host(const HostProcess& host, std::string* rest_of_output, bool terminate) {
    if (terminate) kill(host.pid, SIGTERM);
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(host.output, buffer, sizeof buffer)) > 0)
        if (rest_of_output) rest_of_output->append(buffer, static_cast<size_t>(n));
    close(host.output);
    int status = 0;
    waitpid(host.pid, &status, 0);
    return status;
}

} // namespace cog::test

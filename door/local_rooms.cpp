// Starting, watching and stopping cogwell-host processes for the door's rooms.
#include "door/local_rooms.h"

#include "shared/log/log.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace cog::door {

const char* room_end_reason_name(RoomEndReason reason) {
    switch (reason) {
    case RoomEndReason::Idle: return "idle";
    case RoomEndReason::Exited: return "exited";
    case RoomEndReason::Crashed: return "crashed";
    case RoomEndReason::Shutdown: return "shutdown";
    case RoomEndReason::Failed: return "failed";
    }
    return "unknown";
}

namespace {

// Variables of the door's environment that would make a room serve TLS, take another port, report
// to a cluster or open a window; the door decides those for its rooms.
bool changes_a_room(std::string_view entry) {
    static constexpr std::string_view NAMES[] = {"DISPLAY=", "WAYLAND_DISPLAY=", "COGWELL_TLS_CERT=",
                                                 "COGWELL_TLS_KEY=", "COGWELL_WEB_PORT=", "AGONES_SDK_HTTP_PORT="};
    for (auto name : NAMES)
        if (entry.starts_with(name)) return true;
    return false;
}

void close_probe(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

LocalRooms::LocalRooms(LocalRoomsConfig config) : config_(std::move(config)) {
    for (char** entry = environ; entry && *entry; ++entry)
        if (!changes_a_room(*entry)) environment_.emplace_back(*entry);
}

LocalRooms::~LocalRooms() {
    for (auto& [code, room] : rooms_) {
        close_probe(room.probe_fd);
        if (room.pid > 0) {
            ::kill(room.pid, SIGKILL);
            ::waitpid(room.pid, nullptr, 0);
        }
    }
}

bool LocalRooms::pick_port(uint16_t& port) const {
    // The kernel names a free port; the host listens on every interface, so it is asked for one
    // free on all of them. A port another room holds is not taken twice.
    for (int tries = 0; tries < 16; ++tries) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t length = sizeof(addr);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
                           ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0;
        ::close(fd);
        if (!bound) return false;
        port = ntohs(addr.sin_port);
        bool taken = false;
        for (const auto& [code, room] : rooms_) taken = taken || room.web_port == port;
        if (!taken) return true;
    }
    return false;
}

bool LocalRooms::spawn(Room& room) {
    // Everything the child needs is built before fork: after it only async-signal-safe calls.
    const std::string web_port = std::to_string(room.web_port);
    std::vector<std::string> args = {config_.host_binary, "--port", "0", "--web-port", web_port, "--log-level", "info"};
    if (config_.rooms_trust_door) args.insert(args.end(), {"--trusted-proxy", "127.0.0.1/32"});
    if (!config_.web_root.empty()) args.insert(args.end(), {"--web-root", config_.web_root});
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : environment_) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t door = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // The room dies with the door, however the door ends; a door already gone by now would
        // not signal it, hence the check of the parent after asking.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != door) ::_exit(127);
        // Its own process group: a Ctrl-C in the terminal reaches the door, which stops rooms in order.
        ::setpgid(0, 0);
        struct sigaction defaults{};
        defaults.sa_handler = SIG_DFL;
        for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGCHLD}) ::sigaction(signal, &defaults, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    room.pid = pid;
    return true;
}

RoomStartError LocalRooms::start_room(std::string_view code) {
    if (rooms_.find(code) != rooms_.end()) return RoomStartError::CodeTaken;
    if (static_cast<int>(rooms_.size()) >= config_.max_rooms) return RoomStartError::Full;
    Room room;
    if (!pick_port(room.web_port) || !spawn(room)) return RoomStartError::SpawnFailed;
    LOG_INFO("Room %.*s starting: %s, pid %d, web port %u", static_cast<int>(code.size()), code.data(),
             config_.host_binary.c_str(), static_cast<int>(room.pid), static_cast<unsigned>(room.web_port));
    rooms_.emplace(std::string(code), room);
    return RoomStartError::None;
}

RoomLookup LocalRooms::find_room(std::string_view code) const {
    auto it = rooms_.find(code);
    if (it == rooms_.end() || it->second.stopping) return {};
    if (!it->second.ready) return {RoomState::Starting, {}};
    return {RoomState::Ready, {"127.0.0.1", it->second.web_port}};
}

pid_t LocalRooms::room_pid(std::string_view code) const {
    auto it = rooms_.find(code);
    return it == rooms_.end() ? 0 : it->second.pid;
}

void LocalRooms::set_players(std::string_view code, int players) {
    auto it = rooms_.find(code);
    if (it != rooms_.end()) it->second.players = players;
}

void LocalRooms::probe(const std::string& code, Room& room, std::vector<RoomEvent>& events) {
    if (room.probe_fd >= 0) {
        pollfd p{room.probe_fd, POLLOUT, 0};
        if (::poll(&p, 1, 0) <= 0) return;
        int error = 0;
        socklen_t length = sizeof(error);
        ::getsockopt(room.probe_fd, SOL_SOCKET, SO_ERROR, &error, &length);
        close_probe(room.probe_fd);
        room.ready = error == 0;
    } else {
        room.probe_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (room.probe_fd < 0) return;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(room.web_port);
        const int result = ::connect(room.probe_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        if (result == 0) {
            room.ready = true;
            close_probe(room.probe_fd);
        } else if (errno != EINPROGRESS) {
            close_probe(room.probe_fd);
        }
    }
    if (room.ready) events.push_back({RoomEvent::Kind::Made, code, RoomEndReason::Exited, {}});
}

void LocalRooms::stop(Room& room, RoomEndReason reason, int64_t now_ms) {
    if (room.stopping) return;
    room.stopping = true;
    room.stop_reason = reason;
    room.stop_sent_ms = now_ms;
    close_probe(room.probe_fd);
    ::kill(room.pid, SIGTERM);
}

bool LocalRooms::reap(const std::string& code, Room& room, std::vector<RoomEvent>& events) {
    int status = 0;
    const pid_t done = ::waitpid(room.pid, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) return false;
    RoomEvent event{room.ready ? RoomEvent::Kind::Ended : RoomEvent::Kind::Failed, code, RoomEndReason::Exited, {}};
    if (done < 0) event.detail = "lost";
    else if (WIFEXITED(status)) event.detail = "exit status " + std::to_string(WEXITSTATUS(status));
    else if (WIFSIGNALED(status)) event.detail = std::string("signal ") + std::to_string(WTERMSIG(status));
    if (room.stopping) event.reason = room.stop_reason;
    else if (!room.ready) event.reason = RoomEndReason::Failed;
    else if (done > 0 && WIFSIGNALED(status)) event.reason = RoomEndReason::Crashed;
    close_probe(room.probe_fd);
    events.push_back(std::move(event));
    return true;
}

void LocalRooms::poll(int64_t now_ms, std::vector<RoomEvent>& events) {
    for (auto it = rooms_.begin(); it != rooms_.end();) {
        auto& [code, room] = *it;
        if (reap(code, room, events)) {
            it = rooms_.erase(it);
            continue;
        }
        if (room.started_ms < 0) room.started_ms = now_ms;
        if (room.stopping) {
            if (!room.killed && now_ms - room.stop_sent_ms >= config_.stop_grace_ms) {
                ::kill(room.pid, SIGKILL);
                room.killed = true;
            }
        } else if (!room.ready) {
            probe(code, room, events);
            if (!room.ready && now_ms - room.started_ms >= config_.start_timeout_ms) stop(room, RoomEndReason::Failed, now_ms);
        } else if (room.players > 0) {
            room.empty_since_ms = -1;
        } else {
            if (room.empty_since_ms < 0) room.empty_since_ms = now_ms;
            if (now_ms - room.empty_since_ms >= config_.idle_ms) stop(room, RoomEndReason::Idle, now_ms);
        }
        ++it;
    }
}

bool LocalRooms::shut_down(int64_t now_ms, std::vector<RoomEvent>& events) {
    for (auto& [code, room] : rooms_) stop(room, RoomEndReason::Shutdown, now_ms);
    poll(now_ms, events);
    return rooms_.empty();
}

} // namespace cog::door

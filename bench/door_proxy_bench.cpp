// The door's WebSocket proxying against nginx's, in one run: a stand-in room and N players in this
// one epoll process, straight to the room, through cogwell-door and through nginx; prints the
// proxy's CPU per 1,000 players and the latency it adds.
//
// Traffic is a typing pool's: the room sends each player a 135-byte frame 60 times a second (about
// 8 KB/s) and each player sends 60 small inputs a second. Every frame carries the time it was sent,
// so both ways are timed end to end; "added" is a proxy's figure less the direct one at the same N.
//
// "frames/s" is what players received (60 per player when the load keeps up): CPU per 1,000
// players counts players fed at that rate. "waited" is time runnable but without a core.
//
//   door_proxy_bench --door build/cogwell-door [--nginx /usr/sbin/nginx] [--players 500,1000,2000]
//                    [--seconds 10] [--proxy-core 0] [--load-core 1] [--door-before OTHER_BUILD]
#include "proc_sample.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <string>
#include <string_view>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t PERIOD_NS = 1'000'000'000 / 60;
constexpr size_t DOWN_FRAME_BYTES = 135; // 4 bytes of header and 131 of payload
constexpr size_t UP_PAYLOAD_BYTES = 16;
constexpr char CODE[] = "BNCH";

int64_t now_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

void pin_to_core(pid_t pid, int core) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    sched_setaffinity(pid, sizeof(set), &set);
}

void raise_file_limit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// Latencies in microseconds, 0 to 1 s, the rest counted as the last bucket.
struct Histogram {
    std::vector<uint64_t> buckets = std::vector<uint64_t>(1'000'001, 0);
    uint64_t count = 0;
    int64_t max_us = 0;
    void add(int64_t us) {
        us = std::max<int64_t>(us, 0);
        ++buckets[static_cast<size_t>(std::min<int64_t>(us, 1'000'000))];
        ++count;
        max_us = std::max(max_us, us);
    }
    int64_t percentile(double p) const {
        const uint64_t rank = static_cast<uint64_t>(p * static_cast<double>(count));
        uint64_t seen = 0;
        for (size_t i = 0; i < buckets.size(); ++i) {
            seen += buckets[i];
            if (seen > rank) return static_cast<int64_t>(i);
        }
        return max_us;
    }
};

enum class Role : uint8_t { Player, Room };
enum class Stage : uint8_t { Connecting, Handshake, Open };

struct Sock {
    int fd = -1;
    Role role = Role::Player;
    Stage stage = Stage::Connecting;
    std::string in, out;
    int64_t next_due_ns = 0;
    bool want_out = false;
};

struct Totals {
    Histogram down, up; // room -> player, player -> room
    uint64_t short_writes = 0, failures = 0;
};

// One load: the room's listener and every socket of both ends, in one epoll.
class Load {
public:
    explicit Load(uint16_t room_port_wanted = 0) {
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int yes = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(room_port_wanted);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(listen_, 4096) != 0) {
            std::perror("room listen");
            std::exit(1);
        }
        socklen_t length = sizeof(addr);
        getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &length);
        room_port_ = ntohs(addr.sin_port);
        add(listen_, UINT32_MAX, EPOLLIN);
    }
    uint16_t room_port() const { return room_port_; }

    // Opens `players` WebSockets to 127.0.0.1:`port` at `path`; false when not all opened in time.
    bool open_players(int players, uint16_t port, const std::string& path) {
        request_ = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
        const int64_t deadline = now_ns() + 30'000'000'000;
        int started = 0;
        while (open_count(Role::Player) < players && now_ns() < deadline) {
            for (int i = 0; i < 50 && started < players; ++i, ++started) connect_player(port);
            turn(1);
        }
        return open_count(Role::Player) == players;
    }

    // Runs the traffic for `seconds`, timing frames only when `measure`.
    void run(double seconds, bool measure) {
        measuring_ = measure;
        const int64_t end = now_ns() + static_cast<int64_t>(seconds * 1e9);
        while (now_ns() < end) {
            turn(1);
            send_due();
        }
        measuring_ = false;
    }

    void close_all() {
        for (auto& s : socks_)
            if (s && s->fd >= 0) close(s->fd);
        socks_.clear();
        free_.clear();
        totals_ = Totals{};
        // Let the proxy see every close before the next load.
        const int64_t end = now_ns() + 1'000'000'000;
        while (now_ns() < end) turn(10);
    }

    Totals& totals() { return totals_; }

private:
    int open_count(Role role) const {
        int n = 0;
        for (const auto& s : socks_) n += s && s->role == role && s->stage == Stage::Open;
        return n;
    }

    void add(int fd, uint32_t index, uint32_t events) {
        epoll_event e{};
        e.events = events;
        e.data.u32 = index;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
    }

    uint32_t keep(std::unique_ptr<Sock> s) {
        if (!free_.empty()) {
            const uint32_t index = free_.back();
            free_.pop_back();
            socks_[index] = std::move(s);
            return index;
        }
        socks_.push_back(std::move(s));
        return static_cast<uint32_t>(socks_.size() - 1);
    }

    void connect_player(uint16_t port) {
        auto s = std::make_unique<Sock>();
        s->fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int yes = 1;
        setsockopt(s->fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        connect(s->fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        s->role = Role::Player;
        s->stage = Stage::Connecting;
        const int fd = s->fd;
        add(fd, keep(std::move(s)), EPOLLOUT);
    }

    void accept_rooms() {
        for (;;) {
            const int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            const int yes = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
            auto s = std::make_unique<Sock>();
            s->fd = fd;
            s->role = Role::Room;
            s->stage = Stage::Handshake;
            add(fd, keep(std::move(s)), EPOLLIN);
        }
    }

    void turn(int wait_ms) {
        epoll_event events[256];
        const int n = epoll_wait(epoll_, events, 256, wait_ms);
        for (int i = 0; i < n; ++i) {
            const uint32_t index = events[i].data.u32;
            if (index == UINT32_MAX) {
                accept_rooms();
                continue;
            }
            if (index >= socks_.size() || !socks_[index]) continue;
            Sock& s = *socks_[index];
            if (events[i].events & EPOLLOUT) on_writable(index, s);
            if (socks_[index] && (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))) on_readable(index, s);
        }
    }

    void drop(uint32_t index) {
        ++totals_.failures;
        close(socks_[index]->fd);
        socks_[index].reset();
        free_.push_back(index);
    }

    void set_out_interest(uint32_t index, Sock& s, bool want) {
        if (s.want_out == want) return;
        s.want_out = want;
        epoll_event e{};
        e.events = EPOLLIN | (want ? EPOLLOUT : 0u);
        e.data.u32 = index;
        epoll_ctl(epoll_, EPOLL_CTL_MOD, s.fd, &e);
    }

    void on_writable(uint32_t index, Sock& s) {
        if (s.stage == Stage::Connecting) {
            int error = 0;
            socklen_t length = sizeof(error);
            getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0) return drop(index);
            s.stage = Stage::Handshake;
            s.out = request_;
            s.want_out = true;
        }
        flush(index, s);
    }

    void flush(uint32_t index, Sock& s) {
        while (!s.out.empty()) {
            const ssize_t sent = send(s.fd, s.out.data(), s.out.size(), MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EAGAIN) break;
                return drop(index);
            }
            s.out.erase(0, static_cast<size_t>(sent));
        }
        set_out_interest(index, s, !s.out.empty());
    }

    void write_frame(uint32_t index, Sock& s, const char* bytes, size_t size) {
        if (!s.out.empty()) {
            ++totals_.short_writes;
            s.out.append(bytes, size);
            return;
        }
        const ssize_t sent = send(s.fd, bytes, size, MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(size)) return;
        if (sent < 0 && errno != EAGAIN) return drop(index);
        ++totals_.short_writes;
        s.out.assign(bytes + std::max<ssize_t>(sent, 0), size - static_cast<size_t>(std::max<ssize_t>(sent, 0)));
        set_out_interest(index, s, true);
    }

    void on_readable(uint32_t index, Sock& s) {
        char chunk[65536];
        const ssize_t got = recv(s.fd, chunk, sizeof(chunk), 0);
        if (got == 0 || (got < 0 && errno != EAGAIN)) return drop(index);
        if (got < 0) return;
        s.in.append(chunk, static_cast<size_t>(got));
        if (s.stage == Stage::Handshake && !handshake(index, s)) return;
        if (s.stage == Stage::Open) read_frames(s);
    }

    // The room skips a PROXY v2 header and answers the upgrade; the player waits for the 101.
    bool handshake(uint32_t index, Sock& s) {
        static constexpr char SIGNATURE[12] = {'\r', '\n', '\r', '\n', '\0', '\r', '\n', 'Q', 'U', 'I', 'T', '\n'};
        if (s.role == Role::Room && s.in.size() >= 16 && std::memcmp(s.in.data(), SIGNATURE, 12) == 0) {
            const size_t length = (static_cast<uint8_t>(s.in[14]) << 8) | static_cast<uint8_t>(s.in[15]);
            if (s.in.size() < 16 + length) return false;
            s.in.erase(0, 16 + length);
        }
        const size_t end = s.in.find("\r\n\r\n");
        if (end == std::string::npos) return false;
        if (s.role == Role::Player && s.in.compare(0, 12, "HTTP/1.1 101") != 0) {
            drop(index);
            return false;
        }
        s.in.erase(0, end + 4);
        s.stage = Stage::Open;
        // Spread over the period so that the frames do not all leave in one burst.
        s.next_due_ns = now_ns() + static_cast<int64_t>(index % 997) * PERIOD_NS / 997;
        if (s.role == Role::Room) {
            s.out = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                    "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
            flush(index, s);
        }
        return true;
    }

    void read_frames(Sock& s) {
        size_t at = 0;
        const int64_t now = now_ns();
        while (s.in.size() - at >= 2) {
            const auto* p = reinterpret_cast<const uint8_t*>(s.in.data() + at);
            size_t length = p[1] & 0x7f, header = 2;
            if (length == 126) {
                if (s.in.size() - at < 4) break;
                length = (size_t{p[2]} << 8) | p[3];
                header = 4;
            }
            const bool masked = p[1] & 0x80;
            const size_t mask_at = header;
            if (masked) header += 4;
            if (s.in.size() - at < header + length) break;
            uint8_t stamp[8] = {};
            for (size_t i = 0; i < 8 && i < length; ++i)
                stamp[i] = static_cast<uint8_t>(p[header + i] ^ (masked ? p[mask_at + i % 4] : 0));
            int64_t sent = 0;
            std::memcpy(&sent, stamp, 8);
            if (measuring_) (s.role == Role::Player ? totals_.down : totals_.up).add((now - sent) / 1000);
            at += header + length;
        }
        s.in.erase(0, at);
    }

    // Each open socket's frame when its time has come: the room's state, the player's input.
    void send_due() {
        const int64_t now = now_ns();
        for (uint32_t i = 0; i < socks_.size(); ++i) {
            Sock* s = socks_[i].get();
            if (!s || s->stage != Stage::Open || s->next_due_ns > now) continue;
            s->next_due_ns += PERIOD_NS;
            if (s->next_due_ns < now) s->next_due_ns = now + PERIOD_NS; // fell behind: skip, do not burst
            char frame[DOWN_FRAME_BYTES] = {};
            if (s->role == Role::Room) {
                frame[0] = static_cast<char>(0x82);
                frame[1] = 126;
                frame[2] = 0;
                frame[3] = static_cast<char>(DOWN_FRAME_BYTES - 4);
                std::memcpy(frame + 4, &now, 8);
                write_frame(i, *s, frame, DOWN_FRAME_BYTES);
            } else {
                frame[0] = static_cast<char>(0x82);
                frame[1] = static_cast<char>(0x80 | UP_PAYLOAD_BYTES); // a zero mask: the payload as is
                std::memcpy(frame + 6, &now, 8);
                write_frame(i, *s, frame, 6 + UP_PAYLOAD_BYTES);
            }
        }
    }

    int epoll_ = -1, listen_ = -1;
    uint16_t room_port_ = 0;
    std::string request_;
    std::vector<std::unique_ptr<Sock>> socks_;
    std::vector<uint32_t> free_;
    bool measuring_ = false;
    Totals totals_;
};

// Nanoseconds `pid` has spent runnable but waiting for a core: other work on the machine.
int64_t waited_ns(pid_t pid) {
    std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
    int64_t ran = 0, waited = 0;
    schedstat >> ran >> waited;
    return waited;
}

uint16_t free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    socklen_t length = sizeof(addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    close(fd);
    return ntohs(addr.sin_port);
}

pid_t spawn(const std::vector<std::string>& argv, int core, const std::string& log) {
    const pid_t pid = fork();
    if (pid == 0) {
        pin_to_core(0, core);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

bool port_open(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    close(fd);
    return ok;
}

bool wait_port(uint16_t port) {
    for (int i = 0; i < 500; ++i) {
        if (port_open(port)) return true;
        usleep(10'000);
    }
    return false;
}

struct Target {
    std::string name;
    pid_t pid = 0; // the proxy's process; 0 for the room alone
    uint16_t port = 0;
    std::string path;
};

struct Row {
    std::string name;
    int players = 0;
    bool opened = false;
    double proxy_cpu_percent = 0, load_cpu_percent = 0;
    double proxy_wait_percent = 0, load_wait_percent = 0; // runnable but not running
    int64_t down_p50 = 0, down_p99 = 0, down_max = 0, up_p50 = 0, up_p99 = 0;
    uint64_t frames = 0, short_writes = 0, failures = 0;
};

Row measure(Load& load, const Target& target, int players, double seconds) {
    Row row;
    row.name = target.name;
    row.players = players;
    row.opened = load.open_players(players, target.port, target.path);
    if (row.opened) {
        load.run(2.0, false); // warm up
        const auto proxy_before = cog::bench::sample_process(target.pid);
        const auto load_before = cog::bench::sample_process(getpid());
        const int64_t proxy_waited = target.pid ? waited_ns(target.pid) : 0, load_waited = waited_ns(getpid());
        const int64_t start = now_ns();
        load.run(seconds, true);
        const double wall = static_cast<double>(now_ns() - start) / 1e9;
        const auto proxy_after = cog::bench::sample_process(target.pid);
        const auto load_after = cog::bench::sample_process(getpid());
        row.proxy_cpu_percent = target.pid ? 100.0 * (proxy_after.cpu_seconds - proxy_before.cpu_seconds) / wall : 0;
        row.load_cpu_percent = 100.0 * (load_after.cpu_seconds - load_before.cpu_seconds) / wall;
        row.proxy_wait_percent = target.pid ? 100.0 * static_cast<double>(waited_ns(target.pid) - proxy_waited) / 1e9 / wall : 0;
        row.load_wait_percent = 100.0 * static_cast<double>(waited_ns(getpid()) - load_waited) / 1e9 / wall;
        const Totals& t = load.totals();
        row.down_p50 = t.down.percentile(0.50);
        row.down_p99 = t.down.percentile(0.99);
        row.down_max = t.down.max_us;
        row.up_p50 = t.up.percentile(0.50);
        row.up_p99 = t.up.percentile(0.99);
        row.frames = t.down.count;
        row.short_writes = t.short_writes;
        row.failures = t.failures;
    } else {
        row.failures = load.totals().failures;
    }
    load.close_all();
    return row;
}

std::string write_nginx_config(const std::string& folder, uint16_t port, uint16_t room_port) {
    const std::string path = folder + "/nginx.conf";
    std::ofstream conf(path);
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\nworker_rlimit_nofile 65536;\n"
         << "error_log " << folder << "/error.log warn;\npid " << folder << "/nginx.pid;\n"
         << "events { worker_connections 16384; }\n"
         << "http {\n  access_log off;\n"
         << "  client_body_temp_path " << folder << "/body;\n  proxy_temp_path " << folder << "/proxy;\n"
         << "  fastcgi_temp_path " << folder << "/fastcgi;\n  uwsgi_temp_path " << folder << "/uwsgi;\n"
         << "  scgi_temp_path " << folder << "/scgi;\n"
         << "  server {\n    listen 127.0.0.1:" << port << " backlog=4096;\n"
         << "    location /r/" << CODE << "/play {\n"
         << "      proxy_pass http://127.0.0.1:" << room_port << "/play;\n"
         << "      proxy_http_version 1.1;\n      proxy_set_header Upgrade $http_upgrade;\n"
         << "      proxy_set_header Connection \"upgrade\";\n      proxy_buffering off;\n"
         << "      proxy_read_timeout 600s;\n      proxy_send_timeout 600s;\n    }\n  }\n}\n";
    return path;
}

std::vector<int> parse_list(const char* text) {
    std::vector<int> out;
    for (const char* p = text; *p;) {
        out.push_back(std::atoi(p));
        while (*p && *p != ',') ++p;
        if (*p) ++p;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::string door = "build/cogwell-door", nginx = "/usr/sbin/nginx", door_before;
    std::vector<int> counts = {500, 1000, 2000};
    double seconds = 10;
    int proxy_core = 0, load_core = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view flag = argv[i];
        if (flag == "--door") door = argv[i + 1];
        else if (flag == "--nginx") nginx = argv[i + 1];
        else if (flag == "--door-before") door_before = argv[i + 1]; // another build, to compare
        else if (flag == "--players") counts = parse_list(argv[i + 1]);
        else if (flag == "--seconds") seconds = std::atof(argv[i + 1]);
        else if (flag == "--proxy-core") proxy_core = std::atoi(argv[i + 1]);
        else if (flag == "--load-core") load_core = std::atoi(argv[i + 1]);
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    raise_file_limit();
    std::signal(SIGPIPE, SIG_IGN);
    pin_to_core(0, load_core);
    Load load;

    char folder_template[] = "/tmp/door_proxy_bench.XXXXXX";
    const std::string folder = mkdtemp(folder_template);
    std::ofstream(folder + "/index.html") << "<!doctype html><title>bench</title>\n";

    std::vector<Target> targets = {{"direct", 0, load.room_port(), "/play"}};
    const std::string room = std::string(CODE) + "=127.0.0.1:" + std::to_string(load.room_port());
    std::vector<pid_t> pids;
    for (const auto& [name, binary] : {std::pair<std::string, std::string>{"door", door}, {"before", door_before}}) {
        if (binary.empty()) continue;
        const uint16_t door_port = free_port();
        const pid_t door_pid = spawn({binary, "--port", std::to_string(door_port), "--web-root", folder,
                                      "--static-room", room, "--log-level", "warn"},
                                     proxy_core, folder + "/" + name + ".log");
        pids.push_back(door_pid);
        if (wait_port(door_port)) targets.push_back({name, door_pid, door_port, std::string("/r/") + CODE + "/play"});
        else std::fprintf(stderr, "%s did not open (see %s/%s.log)\n", binary.c_str(), folder.c_str(), name.c_str());
    }
    const uint16_t nginx_port = free_port();
    const std::string conf = write_nginx_config(folder, nginx_port, load.room_port());
    const pid_t nginx_pid = spawn({nginx, "-p", folder, "-c", conf}, proxy_core, folder + "/nginx.log");
    if (wait_port(nginx_port)) targets.push_back({"nginx", nginx_pid, nginx_port, std::string("/r/") + CODE + "/play"});
    else std::fprintf(stderr, "nginx did not open (see %s/nginx.log)\n", folder.c_str());

    const bool all_open = targets.size() == (door_before.empty() ? 3u : 4u);
    std::vector<Row> rows;
    for (int players : counts) {
        for (const auto& target : targets) {
            rows.push_back(measure(load, target, players, seconds));
            const Row& r = rows.back();
            std::fprintf(stderr, "%-6s %5d players: %s\n", r.name.c_str(), players, r.opened ? "measured" : "NOT ALL OPENED");
        }
    }
    for (pid_t pid : pids) kill(pid, SIGTERM);
    kill(nginx_pid, SIGQUIT);
    for (pid_t pid : pids) waitpid(pid, nullptr, 0);
    waitpid(nginx_pid, nullptr, 0);
    if (all_open) std::filesystem::remove_all(folder); // the logs are kept when a proxy did not open

    std::printf("%d s per row, proxy on core %d, room and players on core %d; latencies in us, room to player "
                "(down) and player to room (up); +: more than direct at the same N\n",
                static_cast<int>(seconds), proxy_core, load_core);
    std::printf("| players | via | proxy CPU %% | CPU %% per 1,000 fed | down p50 | down p99 | down max | +p50 | +p99 | "
                "up p50 | up p99 | frames/s | load CPU %% | waited %% proxy/load | late writes | failed |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& r : rows) {
        const Row* direct = nullptr;
        for (const Row& d : rows)
            if (d.name == "direct" && d.players == r.players && d.opened) direct = &d;
        if (!r.opened) {
            std::printf("| %d | %s | not all opened | | | | | | | | | | | | | %llu |\n", r.players, r.name.c_str(),
                        static_cast<unsigned long long>(r.failures));
            continue;
        }
        const bool proxied = r.name != "direct";
        char added_50[32] = "", added_99[32] = "", per_1000[32] = "", cpu[32] = "";
        if (proxied && direct) {
            std::snprintf(added_50, sizeof(added_50), "%+lld", static_cast<long long>(r.down_p50 - direct->down_p50));
            std::snprintf(added_99, sizeof(added_99), "%+lld", static_cast<long long>(r.down_p99 - direct->down_p99));
        }
        if (proxied) {
            std::snprintf(cpu, sizeof(cpu), "%.1f", r.proxy_cpu_percent);
            // Per 1,000 players fed at the full rate: a load that fell behind is not counted as players.
            const double fed = static_cast<double>(r.frames) / seconds / 60.0;
            std::snprintf(per_1000, sizeof(per_1000), "%.1f", r.proxy_cpu_percent * 1000.0 / std::max(fed, 1.0));
        }
        std::printf("| %d | %s | %s | %s | %lld | %lld | %lld | %s | %s | %lld | %lld | %.0f | %.0f | %.0f/%.0f | %llu | %llu |\n",
                    r.players, r.name.c_str(), cpu, per_1000, static_cast<long long>(r.down_p50),
                    static_cast<long long>(r.down_p99), static_cast<long long>(r.down_max), added_50, added_99,
                    static_cast<long long>(r.up_p50), static_cast<long long>(r.up_p99),
                    static_cast<double>(r.frames) / seconds, r.load_cpu_percent, r.proxy_wait_percent, r.load_wait_percent,
                    static_cast<unsigned long long>(r.short_writes), static_cast<unsigned long long>(r.failures));
    }
    return 0;
}

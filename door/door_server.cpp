// The door's event loop: accepting, answering the page and the room API, and passing WebSockets
// through to their rooms with bounded buffers both ways.
#include "door/door_server.h"

#include "door/proxy_header.h"
#include "door/room_codes.h"
#include "shared/log/log.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace cog::door {

namespace {

constexpr uint64_t LISTEN_KEY = 0;
constexpr size_t MAX_BODY_BYTES = 1024;
constexpr uint8_t TLS_HANDSHAKE_RECORD = 0x16;

std::string address_text(const sockaddr_storage& storage) {
    char text[INET6_ADDRSTRLEN] = "";
    if (storage.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(storage).sin_addr, text, sizeof(text));
    } else if (storage.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&in6)) inet_ntop(AF_INET, &in6.s6_addr[12], text, sizeof(text));
        else inet_ntop(AF_INET6, &in6, text, sizeof(text));
    }
    return text;
}

const char* reason_phrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 301: return "Moved Permanently";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    }
    return "Error";
}

// The part of a request target before its query.
std::string_view path_of(std::string_view target) { return target.substr(0, target.find('?')); }

// Text from a request (Host, target) fit for a log line and a link: printable, short, no quotes.
std::string link_text(std::string_view host) {
    std::string out;
    for (char c : host.substr(0, 255))
        if (c > ' ' && c < 127 && c != '"' && c != '\\') out.push_back(c);
    return out.empty() ? "localhost" : out;
}

// A Content-Length's value, or SIZE_MAX when it is not a number or larger than any body taken.
size_t body_length(std::string_view text) {
    size_t length = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9' || length > MAX_BODY_BYTES) return SIZE_MAX;
        length = length * 10 + static_cast<size_t>(ch - '0');
    }
    return length;
}

std::string error_json(std::string_view error) { return "{\"error\":\"" + std::string(error) + "\"}"; }

} // namespace

struct DoorServer::Connection {
    uint64_t id = 0;
    int fd = -1;
    std::string address;
    sockaddr_storage peer{}, local{};
    std::unique_ptr<ClientStream> stream;
    Phase phase = Phase::Request;
    bool redirect_to_tls = false; // a plain request on a TLS port: answered with a redirect
    std::string in;
    std::string out;
    std::shared_ptr<const std::string> file;
    size_t file_offset = 0;
    bool close_after = false;
    int64_t deadline_ms = 0;
    // Passing through to a room
    std::string code;
    // A room API request waiting on the room source: its room made, or its code looked up.
    enum class Wait : uint8_t { Proxy, Made, Lookup } wait = Wait::Proxy;
    int room_fd = -1;
    bool room_connecting = false;
    bool counted_player = false;
    ByteBuffer up, down; // player -> room, room -> player
    bool client_eof = false, room_eof = false, room_write_shut = false;
    // Whether a side may have bytes to read: set by its readiness, cleared by a read that came
    // back short, so that a message costs one read and not one more that finds nothing.
    bool client_may_read = true, room_may_read = true;
    uint32_t client_interest = 0, room_interest = 0;

    explicit Connection(size_t pipe_bytes) : up(pipe_bytes), down(pipe_bytes) {}
};

DoorServer::DoorServer(DoorConfig config, RoomSource& rooms, SecureRandom& random, const WebFolder& web,
                       SSL_CTX* tls, Clock& clock)
    : config_(config), rooms_(rooms), random_(random), web_(web), tls_(tls), clock_(clock),
      room_rate_(config.rooms_per_address, config.rooms_period_ms),
      unknown_rate_(config.unknown_codes_per_address, config.unknown_period_ms),
      sockets_(config.connections_per_address) {}

DoorServer::~DoorServer() {
    std::vector<uint64_t> ids;
    for (auto& [id, c] : connections_) ids.push_back(id);
    for (auto id : ids) close_connection(id);
    if (listen_fd_ >= 0) ::close(listen_fd_);
    if (epoll_fd_ >= 0) ::close(epoll_fd_);
}

int64_t DoorServer::now_ms() const { return clock_.monotonic_ns() / 1'000'000; }

DoorOpenError DoorServer::open() {
    epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_fd_ < 0) return DoorOpenError::Epoll;
    listen_fd_ = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) return DoorOpenError::Socket;
    const int yes = 1, no = 0;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    ::setsockopt(listen_fd_, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof(no));
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_any;
    addr.sin6_port = htons(config_.port);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(listen_fd_, 512) != 0)
        return DoorOpenError::Bind;
    socklen_t length = sizeof(addr);
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin6_port);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = LISTEN_KEY;
    if (::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, listen_fd_, &event) != 0) return DoorOpenError::Epoll;
    return DoorOpenError::None;
}

void DoorServer::run(const volatile std::sig_atomic_t& stop) {
    // While a room starts its readiness is probed often: players wait for it.
    const auto starting = [this] {
        for (const auto& [code, meta] : live_)
            if (!meta.made) return true;
        return false;
    };
    while (!stop) run_once(starting() ? 2 : 50);
    LOG_INFO("Door closing: stopping %zu rooms", rooms_.room_count());
    std::vector<RoomEvent> events;
    const int64_t deadline = now_ms() + 10'000;
    while (!rooms_.shut_down(now_ms(), events) && now_ms() < deadline) clock_.sleep_ms(10);
    for (const auto& e : events)
        if (const auto meta = live_.find(e.code); meta != live_.end()) count_room_event(e, meta->second);
    if (metrics_out_) publish_metrics();
    for (const auto& e : events) LOG_INFO("Room %s ended (%s): %s", e.code.c_str(), room_end_reason_name(e.reason), e.detail.c_str());
}

void DoorServer::run_once(int max_wait_ms) {
    if (!accepting_ && now_ms() >= accept_paused_until_ms_) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = LISTEN_KEY;
        if (::epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, listen_fd_, &event) == 0) accepting_ = true;
    }
    epoll_event events[128];
    const int count = ::epoll_wait(epoll_fd_, events, 128, max_wait_ms);
    for (int i = 0; i < count; ++i) {
        if (events[i].data.u64 == LISTEN_KEY) accept_all();
        else on_event(events[i].data.u64, events[i].events);
    }
    // Rooms and deadlines are looked at once a millisecond, not at every wakeup: each look goes
    // over every connection (and asks the system about every local room), and a busy door wakes
    // thousands of times a second.
    if (const int64_t now = now_ms(); now != housekept_ms_) {
        housekept_ms_ = now;
        poll_rooms();
        check_deadlines();
    }
    for (auto id : closing_) close_connection(id);
    closing_.clear();
    if (metrics_out_) publish_metrics();
}

void DoorServer::accept_all() {
    for (int i = 0; i < 64; ++i) {
        sockaddr_storage peer{};
        socklen_t length = sizeof(peer);
        const int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: stop listening a moment instead of spinning on the backlog.
                LOG_WARN("Door cannot accept more sockets now (%s); pausing 100 ms", std::strerror(errno));
                epoll_event event{};
                event.data.u64 = LISTEN_KEY;
                ::epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, listen_fd_, &event);
                accepting_ = false;
                accept_paused_until_ms_ = now_ms() + 100;
            }
            return;
        }
        std::string address = address_text(peer);
        if (!sockets_.try_add(address)) {
            refuse(Refusal::AddressSockets);
            ::close(fd);
            continue;
        }
        ++metrics_.connections_accepted;
        auto c = std::make_unique<Connection>(config_.pipe_bytes);
        c->id = next_id_++;
        c->fd = fd;
        c->peer = peer;
        c->address = std::move(address);
        length = sizeof(c->local);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&c->local), &length);
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
        c->phase = tls_ ? Phase::Sniff : Phase::Request;
        if (!tls_) c->stream = std::make_unique<ClientStream>(fd, nullptr);
        c->deadline_ms = now_ms() + config_.request_timeout_ms;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = c->id * 2;
        c->client_interest = EPOLLIN;
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event);
        connections_.emplace(c->id, std::move(c));
    }
}

void DoorServer::on_event(uint64_t key, uint32_t events) {
    auto it = connections_.find(key / 2);
    if (it == connections_.end()) return;
    Connection& c = *it->second;
    if (key % 2 == 1) {
        if (c.phase != Phase::Proxy) return;
        if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) c.room_may_read = true;
        if (c.room_connecting && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
            int error = 0;
            socklen_t length = sizeof(error);
            ::getsockopt(c.room_fd, SOL_SOCKET, SO_ERROR, &error, &length);
            c.room_connecting = false;
            if (error != 0) {
                LOG_WARN("Room %s refused the WebSocket of %s: %s", c.code.c_str(), c.address.c_str(), std::strerror(error));
                return room_unreachable(c);
            }
            set_players(c.code, +1);
            c.counted_player = true;
        }
        pump(c);
        return;
    }
    on_client(c, events);
}

void DoorServer::on_client(Connection& c, uint32_t events) {
    switch (c.phase) {
    case Phase::Sniff: sniff(c); break;
    case Phase::Request: read_request(c); break;
    case Phase::Respond: write_answer(c); break;
    case Phase::WaitRoom:
        if (events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP)) closing_.push_back(c.id);
        break;
    case Phase::Proxy:
        // TLS may have stopped a read to write: any readiness of the player's socket retries it.
        if (c.stream->tls() || (events & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP))) c.client_may_read = true;
        pump(c);
        break;
    }
}

void DoorServer::sniff(Connection& c) {
    unsigned char first = 0;
    const ssize_t got = ::recv(c.fd, &first, 1, MSG_PEEK);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        closing_.push_back(c.id);
        return;
    }
    if (got < 0) return;
    c.redirect_to_tls = first != TLS_HANDSHAKE_RECORD;
    c.stream = std::make_unique<ClientStream>(c.fd, c.redirect_to_tls ? nullptr : tls_);
    c.phase = Phase::Request;
    read_request(c);
}

void DoorServer::read_request(Connection& c) {
    char chunk[4096];
    for (;;) {
        if (c.in.size() >= MAX_REQUEST_HEAD_BYTES + MAX_BODY_BYTES) break;
        const size_t room = std::min(sizeof(chunk), MAX_REQUEST_HEAD_BYTES + MAX_BODY_BYTES - c.in.size());
        const IoResult r = c.stream->read(chunk, room);
        if (r.status == IoStatus::Ok) {
            c.in.append(chunk, r.bytes);
            continue;
        }
        if (r.status == IoStatus::WouldBlock) break;
        closing_.push_back(c.id);
        return;
    }
    HttpHead head;
    const HeadError error = parse_head(c.in, head);
    if (error == HeadError::Incomplete) {
        update_interest(c);
        return;
    }
    c.phase = Phase::Respond;
    if (error == HeadError::TooLarge) refuse(Refusal::HeadersTooLarge);
    if (error == HeadError::Malformed) refuse(Refusal::BadRequest);
    if (error == HeadError::TooLarge) return answer(c, 431, "text/plain", "Request headers too large\n", true);
    if (error == HeadError::Malformed) return answer(c, 400, "text/plain", "Bad request\n", true);
    if (c.redirect_to_tls) {
        const std::string location = "Location: https://" + link_text(head.header("Host")) +
                                     link_text(head.target.substr(0, 2048)) + "\r\n";
        return answer(c, 301, "text/plain", "This port speaks HTTPS\n", true, location);
    }
    c.close_after = head.header_has_token("Connection", "close") || head.version == "HTTP/1.0";
    route(c, head);
}

void DoorServer::route(Connection& c, const HttpHead& head) {
    const std::string_view path = path_of(head.target);
    const bool get = head.method == "GET" || head.method == "HEAD";
    if (head.header_has_token("Upgrade", "websocket")) {
        // "/r/CODE/play": the room's own WebSocket endpoint, through the door.
        if (get && path.starts_with("/r/") && path.size() == 3 + CODE_LENGTH + 5 &&
            path.substr(3 + CODE_LENGTH) == "/play")
            return open_websocket(c, head, path.substr(3, CODE_LENGTH), head.target.substr(3 + CODE_LENGTH + 5));
        refuse(Refusal::BadRequest);
        return answer(c, 404, "application/json", error_json("no such WebSocket"), true);
    }
    if (head.method == "POST" && path == "/rooms") return make_room(c, head);
    if (!get) refuse(Refusal::BadRequest);
    if (!get) return answer(c, 405, "text/plain", "Method not allowed\n", true, "Allow: GET, HEAD, POST\r\n");
    if (path == "/door.json") return answer(c, 200, "application/json", "{\"door\":true}");
    if (path.starts_with("/rooms/")) return ask_room(c, path.substr(7));
    if (path.starts_with("/r/")) {
        // "/r/CODE" is the page; files it asks for relative to it are under "/r/" or "/r/CODE/".
        std::string_view rest = path.substr(3);
        const size_t slash = rest.find('/');
        if (normalize_code(rest.substr(0, slash))) rest = slash == std::string_view::npos ? "" : rest.substr(slash + 1);
        return serve_file(c, head, rest.empty() ? "/index.html" : path.substr(path.size() - rest.size() - 1));
    }
    serve_file(c, head, path);
}

void DoorServer::serve_file(Connection& c, const HttpHead& head, std::string_view path) {
    const WebFile* file = web_.find(path);
    if (!file) return answer(c, 404, "text/plain", "Not found\n");
    // The body is the file's bytes in memory, written from there (no copy per request).
    compose(c, 200, file->mime, file->bytes->size(), false, "Cache-Control: no-cache\r\n");
    if (head.method != "HEAD") {
        c.file = file->bytes;
        c.file_offset = 0;
    }
    write_answer(c);
}

void DoorServer::make_room(Connection& c, const HttpHead& head) {
    const size_t length = body_length(head.header("Content-Length"));
    if (length > MAX_BODY_BYTES || !head.header("Transfer-Encoding").empty()) {
        refuse(Refusal::BodyTooLarge);
        return answer(c, 413, "application/json", error_json("body too large"), true);
    }
    if (c.in.size() < head.head_bytes + length) {
        c.phase = Phase::Request; // the body is still on its way
        return update_interest(c);
    }
    if (!room_rate_.take(c.address, now_ms())) {
        refuse(Refusal::AddressRooms);
        LOG_INFO("Room refused to %s: too many rooms made from that address", c.address.c_str());
        return answer(c, 429, "application/json", error_json("too many rooms from this address"), false,
                      "Retry-After: 120\r\n");
    }
    const auto code = draw_code(random_, [this](std::string_view code) {
        return live_.count(code) > 0 || rooms_.find_room(code).state != RoomState::Unknown;
    });
    if (!code) return answer(c, 503, "application/json", error_json("no code free"));
    const RoomStartError error = rooms_.start_room(*code);
    if (error == RoomStartError::Full) {
        LOG_WARN("Room refused to %s: every room is taken (%zu)", c.address.c_str(), rooms_.room_count());
        return answer_busy(c);
    }
    if (error != RoomStartError::None) {
        LOG_ERROR("Room %s could not be started", code->c_str());
        refuse(Refusal::RoomStartFailed);
        return answer(c, 503, "application/json", error_json("the room could not be started"));
    }
    RoomMeta meta;
    meta.link_base = std::string(c.stream->tls() ? "https://" : "http://") + link_text(head.header("Host"));
    meta.asked_ms = now_ms();
    live_.emplace(*code, std::move(meta));
    // Answered once the room is made (or not): a room the source cannot give is a 503, not a link.
    c.code = *code;
    c.wait = Connection::Wait::Made;
    c.phase = Phase::WaitRoom;
    c.deadline_ms = now_ms() + config_.room_wait_ms;
    update_interest(c);
}

void DoorServer::answer_busy(Connection& c) {
    refuse(Refusal::RoomsBusy);
    answer(c, 503, "application/json", error_json("All rooms are busy — try again in a minute"), false,
           "Retry-After: 60\r\n");
}

bool DoorServer::unknown_code(Connection& c) {
    if (unknown_rate_.take(c.address, now_ms())) return false;
    refuse(Refusal::UnknownCodeRate);
    answer(c, 429, "application/json", error_json("too many unknown codes"), true, "Retry-After: 60\r\n");
    return true;
}

void DoorServer::ask_room(Connection& c, std::string_view typed) {
    const auto code = normalize_code(typed);
    if (code && live_.count(*code) > 0) return answer(c, 200, "application/json", "{\"code\":\"" + *code + "\"}");
    if (code) rooms_.look_up(*code); // a room another door made
    if (code && rooms_.find_room(*code).state != RoomState::Unknown) {
        c.code = *code;
        c.wait = Connection::Wait::Lookup;
        c.phase = Phase::WaitRoom;
        c.deadline_ms = now_ms() + config_.room_wait_ms;
        return update_interest(c);
    }
    if (unknown_code(c)) return;
    answer(c, 404, "application/json", error_json("no such room"));
}

void DoorServer::open_websocket(Connection& c, const HttpHead& head, std::string_view typed, std::string_view rest) {
    const auto code = normalize_code(typed);
    if (code && live_.count(*code) == 0) rooms_.look_up(*code); // a room another door made
    const RoomLookup room = code ? rooms_.find_room(*code) : RoomLookup{};
    if (!code || room.state == RoomState::Unknown) {
        if (unknown_code(c)) return;
        return answer(c, 404, "application/json", error_json("no such room"), true);
    }
    // The request goes on as the player sent it, but for its path: the subprotocol, the
    // compression offer, Host and Origin are between the player and the room.
    std::string forwarded;
    if (config_.proxy_header) forwarded = proxy_v2_header(c.peer, c.local);
    forwarded.append(head.method).append(" /play").append(rest).append(" ").append(head.version);
    forwarded.append(c.in, head.target.data() + head.target.size() + 1 + head.version.size() - c.in.data(),
                     std::string::npos);
    c.in.clear();
    c.up.append_all(forwarded);
    c.code = *code;
    c.phase = Phase::WaitRoom;
    c.deadline_ms = now_ms() + config_.room_wait_ms;
    if (room.state == RoomState::Ready) connect_room(c, room.address);
    else update_interest(c);
}

void DoorServer::room_unreachable(Connection& c) {
    refuse(Refusal::RoomUnreachable);
    if (c.room_fd >= 0) ::close(c.room_fd); // also leaves the epoll set
    c.room_fd = -1;
    c.room_connecting = false;
    c.up.clear();
    answer(c, 502, "application/json", error_json("room unreachable"), true);
}

void DoorServer::connect_room(Connection& c, const RoomAddress& address) {
    // A numeric IPv4 or IPv6 address: a cluster's rooms may have either.
    sockaddr_storage target{};
    socklen_t target_length = 0;
    auto& v4 = reinterpret_cast<sockaddr_in&>(target);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(target);
    if (inet_pton(AF_INET, address.host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(address.port);
        target_length = sizeof(v4);
    } else if (inet_pton(AF_INET6, address.host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(address.port);
        target_length = sizeof(v6);
    }
    c.room_fd = target_length ? ::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0) : -1;
    if (c.room_fd < 0) return room_unreachable(c);
    const int yes = 1;
    ::setsockopt(c.room_fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    const int result = ::connect(c.room_fd, reinterpret_cast<sockaddr*>(&target), target_length);
    c.room_connecting = result != 0;
    if (result != 0 && errno != EINPROGRESS) return room_unreachable(c);
    c.phase = Phase::Proxy;
    c.deadline_ms = 0;
    epoll_event event{};
    event.events = EPOLLOUT;
    event.data.u64 = c.id * 2 + 1;
    c.room_interest = EPOLLOUT;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, c.room_fd, &event);
    if (!c.room_connecting) {
        set_players(c.code, +1);
        c.counted_player = true;
    }
    pump(c);
}

void DoorServer::compose(Connection& c, int status, std::string_view content_type, size_t body_bytes, bool close,
                         std::string_view extra_headers) {
    c.phase = Phase::Respond;
    c.wait = Connection::Wait::Proxy;
    c.close_after = c.close_after || close;
    c.out = "HTTP/1.1 " + std::to_string(status) + " " + reason_phrase(status) + "\r\nContent-Type: " +
            std::string(content_type) + "\r\nContent-Length: " + std::to_string(body_bytes) + "\r\n" +
            std::string(extra_headers) + (c.close_after ? "Connection: close\r\n" : "") + "\r\n";
    c.file.reset();
    c.deadline_ms = now_ms() + config_.drain_timeout_ms;
}

void DoorServer::answer(Connection& c, int status, std::string_view content_type, std::string body, bool close,
                        std::string_view extra_headers) {
    compose(c, status, content_type, body.size(), close, extra_headers);
    c.out += body;
    write_answer(c);
}

void DoorServer::write_answer(Connection& c) {
    while (!c.out.empty() || c.file) {
        std::string_view pending = !c.out.empty() ? std::string_view(c.out)
                                                  : std::string_view(*c.file).substr(c.file_offset);
        if (pending.empty()) {
            c.file.reset();
            break;
        }
        const IoResult r = c.stream->write(pending.data(), std::min<size_t>(pending.size(), 256 * 1024));
        if (r.status == IoStatus::WouldBlock) return update_interest(c);
        if (r.status != IoStatus::Ok) {
            closing_.push_back(c.id);
            return;
        }
        c.deadline_ms = now_ms() + config_.drain_timeout_ms;
        if (!c.out.empty()) c.out.erase(0, r.bytes);
        else c.file_offset += r.bytes;
    }
    finish_answer(c);
}

void DoorServer::finish_answer(Connection& c) {
    if (c.close_after) {
        closing_.push_back(c.id);
        return;
    }
    // Kept alive: the next request gets its own time, counted from now.
    HttpHead head;
    if (parse_head(c.in, head) == HeadError::None) {
        const size_t body = body_length(head.header("Content-Length"));
        c.in.erase(0, std::min(c.in.size(), head.head_bytes + std::min(body, MAX_BODY_BYTES)));
    } else {
        c.in.clear();
    }
    c.phase = Phase::Request;
    c.deadline_ms = now_ms() + config_.request_timeout_ms;
    if (!c.in.empty()) return read_request(c);
    update_interest(c);
    // TLS may hold a whole next request already decrypted.
    if (c.stream->has_buffered()) read_request(c);
}

void DoorServer::pump(Connection& c) {
    char chunk[16384];
    bool progress = true, failed = false;
    while (progress && !failed) {
        progress = false;
        while (c.client_may_read && !c.client_eof && c.up.space() > 0) {
            const size_t asked = std::min(sizeof(chunk), c.up.space());
            const IoResult r = c.stream->read(chunk, asked);
            if (r.status == IoStatus::WouldBlock) {
                c.client_may_read = false;
                break;
            }
            if (r.status != IoStatus::Ok) {
                c.client_eof = true;
                break;
            }
            c.up.append(std::string_view(chunk, r.bytes));
            progress = true;
            // The socket is drained (its readiness is level-triggered: more sets the flag again);
            // TLS may hold decrypted bytes the socket does not signal, so it reads on to WouldBlock.
            if (r.bytes < asked && !c.stream->tls()) c.client_may_read = false;
        }
        while (!c.room_connecting && !c.up.empty() && c.room_fd >= 0) {
            const ssize_t sent = ::send(c.room_fd, c.up.front().data(), c.up.size(), MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EINTR) break;
                failed = true;
                break;
            }
            c.up.consume(static_cast<size_t>(sent));
            metrics_.proxied_bytes[index(Direction::ToRoom)] += static_cast<uint64_t>(sent);
            progress = true;
        }
        while (c.room_may_read && !c.room_connecting && !c.room_eof && c.down.space() > 0 && c.room_fd >= 0) {
            const size_t asked = std::min(sizeof(chunk), c.down.space());
            const ssize_t got = ::recv(c.room_fd, chunk, asked, 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                c.room_may_read = false;
                break;
            }
            if (got <= 0) {
                c.room_eof = true;
                break;
            }
            c.down.append(std::string_view(chunk, static_cast<size_t>(got)));
            progress = true;
            if (static_cast<size_t>(got) < asked) c.room_may_read = false;
        }
        while (!c.down.empty()) {
            const IoResult r = c.stream->write(c.down.front().data(), c.down.size());
            if (r.status == IoStatus::WouldBlock) break;
            if (r.status != IoStatus::Ok) {
                failed = true;
                break;
            }
            c.down.consume(r.bytes);
            metrics_.proxied_bytes[index(Direction::ToPlayer)] += r.bytes;
            progress = true;
        }
    }
    // A side that ended is followed by the other once what it sent has been passed on.
    if (c.client_eof && c.up.empty() && !c.room_write_shut && !c.room_connecting && c.room_fd >= 0) {
        ::shutdown(c.room_fd, SHUT_WR);
        c.room_write_shut = true;
    }
    const bool done = failed || (c.room_eof && c.down.empty()) || (c.client_eof && c.room_eof);
    if (done) {
        closing_.push_back(c.id);
        return;
    }
    if ((c.client_eof || c.room_eof) && c.deadline_ms == 0) c.deadline_ms = now_ms() + config_.drain_timeout_ms;
    update_interest(c);
}

void DoorServer::update_interest(Connection& c) {
    uint32_t client = 0, room = 0;
    switch (c.phase) {
    case Phase::Sniff:
    case Phase::Request: client = EPOLLIN; break;
    case Phase::Respond: client = c.stream && c.stream->wants_readable() ? EPOLLIN : EPOLLOUT; break;
    case Phase::WaitRoom: client = EPOLLRDHUP; break;
    case Phase::Proxy:
        if (!c.client_eof && c.up.space() > 0) client |= EPOLLIN;
        if (!c.down.empty()) client |= EPOLLOUT;
        if (c.stream->wants_writable()) client |= EPOLLOUT;
        if (c.stream->wants_readable()) client |= EPOLLIN;
        if (c.room_connecting || !c.up.empty()) room |= EPOLLOUT;
        if (!c.room_connecting && !c.room_eof && c.down.space() > 0) room |= EPOLLIN;
        break;
    }
    if (client != c.client_interest) {
        epoll_event event{};
        event.events = client;
        event.data.u64 = c.id * 2;
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, c.fd, &event);
        c.client_interest = client;
    }
    if (c.room_fd >= 0 && room != c.room_interest) {
        epoll_event event{};
        event.events = room;
        event.data.u64 = c.id * 2 + 1;
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, c.room_fd, &event);
        c.room_interest = room;
    }
}

void DoorServer::close_connection(uint64_t id) {
    auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& c = *it->second;
    if (c.counted_player) set_players(c.code, -1);
    c.stream.reset();
    if (c.room_fd >= 0) ::close(c.room_fd);
    ::close(c.fd);
    sockets_.remove(c.address);
    connections_.erase(it);
}

void DoorServer::set_players(const std::string& code, int delta) {
    // Called once as a connection reaches its room and once as it closes.
    if (delta > 0) ++metrics_.proxied_total;
    metrics_.proxied_now += static_cast<uint64_t>(static_cast<int64_t>(delta));
    auto it = live_.find(code);
    if (it == live_.end()) return;
    it->second.players += delta;
    rooms_.set_players(code, it->second.players);
}

void DoorServer::poll_rooms() {
    std::vector<RoomEvent> events;
    rooms_.poll(now_ms(), events);
    for (const auto& e : events) {
        auto meta = live_.find(e.code);
        if (meta != live_.end()) count_room_event(e, meta->second); // rooms of other doors are theirs to count
        if (e.kind == RoomEvent::Kind::Made) {
            if (meta == live_.end()) continue;
            meta->second.made = true;
            LOG_INFO("Room %s made in %lld ms: %s/r/%s", e.code.c_str(),
                     static_cast<long long>(now_ms() - meta->second.asked_ms), meta->second.link_base.c_str(),
                     e.code.c_str());
        } else if (e.kind == RoomEvent::Kind::Failed) {
            LOG_WARN("Room %s failed to start (%s)", e.code.c_str(), e.detail.c_str());
        } else {
            LOG_INFO("Room %s ended (%s): %s", e.code.c_str(), room_end_reason_name(e.reason), e.detail.c_str());
        }
        if (e.kind != RoomEvent::Kind::Made && meta != live_.end()) live_.erase(meta);
    }
    // Players waiting for a room that is now made (or gone).
    for (auto& [id, c] : connections_) {
        if (c->phase != Phase::WaitRoom) continue;
        const RoomLookup room = rooms_.find_room(c->code);
        if (c->wait == Connection::Wait::Made) {
            if (room.state == RoomState::Ready)
                answer(*c, 201, "application/json", "{\"code\":\"" + c->code + "\",\"link\":\"/r/" + c->code + "\"}");
            else if (room.state == RoomState::Unknown)
                answer_busy(*c);
            continue;
        }
        if (c->wait == Connection::Wait::Lookup) {
            if (room.state == RoomState::Ready) answer(*c, 200, "application/json", "{\"code\":\"" + c->code + "\"}");
            else if (room.state == RoomState::Unknown) answer(*c, 404, "application/json", error_json("no such room"));
            continue;
        }
        if (room.state == RoomState::Ready) connect_room(*c, room.address);
        else if (room.state == RoomState::Unknown) {
            c->up.clear();
            answer(*c, 404, "application/json", error_json("no such room"), true);
        }
    }
}

void DoorServer::check_deadlines() {
    const int64_t now = now_ms();
    for (auto& [id, c] : connections_) {
        if (c->deadline_ms == 0 || now < c->deadline_ms) continue;
        if (c->phase == Phase::WaitRoom) {
            c->up.clear();
            c->deadline_ms = 0;
            refuse(Refusal::RoomNotReady);
            answer(*c, 503, "application/json", error_json("the room is not ready"), true);
            continue;
        }
        if (c->phase == Phase::Sniff || c->phase == Phase::Request) refuse(Refusal::RequestTimeout);
        closing_.push_back(id);
        c->deadline_ms = 0;
    }
}

} // namespace cog::door

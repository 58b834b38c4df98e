// Non-blocking TCP connection to the host, framed as length-prefixed JSON.
#include "client/connection.h"

#include "shared/protocol/json.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::client {

namespace {

// The host stops reading only when it is stuck; more than this queued means it is gone.
constexpr size_t MAX_OUTBOX = 4 * MAX_FRAME_BODY; // bytes
// Unread bytes held at most: room for a whole frame behind a partly read one.
constexpr size_t MAX_INBOX = 2 * (MAX_FRAME_BODY + 4); // bytes
constexpr size_t READ_CHUNK = 65536; // bytes per recv

ConnectError error_from_errno(int error) {
    switch (error) {
    case ECONNREFUSED: return ConnectError::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH: return ConnectError::Unreachable;
    case ETIMEDOUT: return ConnectError::TimedOut;
    default: return ConnectError::Failed;
    }
}

// InProgress while the handshake runs, None when it succeeded, else why it failed.
ConnectError handshake_state(int fd, int timeout_ms) {
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, timeout_ms);
    if (ready == 0) return ConnectError::InProgress;
    if (ready < 0) return errno == EINTR ? ConnectError::InProgress : ConnectError::Failed;
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    return error == 0 ? ConnectError::None : error_from_errno(error);
}

uint32_t read_length(const char* header) {
    const auto* h = reinterpret_cast<const unsigned char*>(header);
    return uint32_t{h[0]} << 24 | uint32_t{h[1]} << 16 | uint32_t{h[2]} << 8 | uint32_t{h[3]};
}

} // namespace

const char* connect_error_text(ConnectError error) {
    switch (error) {
    case ConnectError::None: return "connected";
    case ConnectError::InProgress: return "connecting";
    case ConnectError::BadAddress: return "unknown host address";
    case ConnectError::Refused: return "connection refused (is the host running?)";
    case ConnectError::Unreachable: return "host unreachable";
    case ConnectError::TimedOut: return "connection timed out";
    case ConnectError::Failed: return "connection failed";
    }
    return "connection failed";
}

ConnectError resolve_host(const std::string& host, uint16_t port, HostAddress& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return ConnectError::BadAddress;
    std::memcpy(&out.address, found->ai_addr, sizeof out.address);
    freeaddrinfo(found);
    return ConnectError::None;
}

Connection::~Connection() { close(); }

void Connection::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    connecting_ = false;
    outbox_.clear();
    inbox_.clear();
    inbox_start_ = 0;
}

ConnectError Connection::open(const std::string& host, uint16_t port, int timeout_ms) {
    close();
    HostAddress address;
    const ConnectError result = resolve_host(host, port, address);
    return result == ConnectError::None ? open(address, timeout_ms) : result;
}

ConnectError Connection::open(const HostAddress& host, int timeout_ms) {
    ConnectError result = start_connect(host);
    if (result == ConnectError::InProgress) {
        result = handshake_state(fd_, timeout_ms);
        if (result == ConnectError::InProgress) result = ConnectError::TimedOut;
        connecting_ = false;
    }
    if (result != ConnectError::None) close();
    return result;
}

ConnectError Connection::start_connect(const HostAddress& host) {
    close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return ConnectError::Failed;
    // One small INPUT per frame: send each at once rather than batching behind the last ACK.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&host.address), sizeof host.address) == 0) {
        fd_ = fd;
        return ConnectError::None;
    }
    if (errno != EINPROGRESS) {
        const ConnectError error = error_from_errno(errno);
        ::close(fd);
        return error;
    }
    fd_ = fd;
    connecting_ = true;
    return ConnectError::InProgress;
}

ConnectError Connection::finish_connect() {
    if (!is_connecting()) return is_open() ? ConnectError::None : ConnectError::Failed;
    const ConnectError state = handshake_state(fd_, 0);
    if (state == ConnectError::None) connecting_ = false;
    if (state != ConnectError::None && state != ConnectError::InProgress) close();
    return state;
}

ProtocolError Connection::send(const ClientMessage& message) {
    if (!is_open()) return ProtocolError::ConnectionClosed;
    const size_t start = outbox_.size();
    outbox_.append(4, '\0');
    write_json(outbox_, message);
    const size_t body = outbox_.size() - start - 4;
    if (body > MAX_FRAME_BODY) {
        outbox_.resize(start);
        return ProtocolError::MessageTooLarge;
    }
    for (int i = 0; i < 4; ++i) outbox_[start + static_cast<size_t>(i)] = static_cast<char>(body >> (24 - 8 * i));
    const ProtocolError error = flush();
    if (error != ProtocolError::None) close();
    return error;
}

ProtocolError Connection::flush() {
    size_t sent = 0;
    while (sent < outbox_.size()) {
        const ssize_t n = ::send(fd_, outbox_.data() + sent, outbox_.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break; // the rest goes with the next frame
        } else {
            return n == 0 ? ProtocolError::ConnectionClosed : ProtocolError::SendFailed;
        }
    }
    outbox_.erase(0, sent);
    return outbox_.size() > MAX_OUTBOX ? ProtocolError::SendFailed : ProtocolError::None;
}

ProtocolError Connection::read_available(size_t max_bytes) {
    if (!is_open()) return ProtocolError::ConnectionClosed;
    char buffer[READ_CHUNK];
    size_t taken = 0;
    while (taken < max_bytes && inbox_.size() - inbox_start_ < MAX_INBOX) {
        const size_t room = std::min({sizeof buffer, max_bytes - taken, MAX_INBOX - (inbox_.size() - inbox_start_)});
        const ssize_t n = ::recv(fd_, buffer, room, 0);
        if (n > 0) {
            inbox_.append(buffer, static_cast<size_t>(n));
            taken += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return n == 0 ? ProtocolError::ConnectionClosed : ProtocolError::ReceiveFailed;
    }
    return ProtocolError::None;
}

IncomingFrame Connection::next_frame() {
    if (inbox_.size() - inbox_start_ < 4) return {};
    const uint32_t length = read_length(inbox_.data() + inbox_start_);
    if (length == 0) return {ProtocolError::InvalidLength, {}};
    if (length > MAX_FRAME_BODY) return {ProtocolError::MessageTooLarge, {}};
    if (inbox_.size() - inbox_start_ - 4 < length) return {};
    const std::string_view body(inbox_.data() + inbox_start_ + 4, length);
    inbox_start_ += 4 + length;
    return {ProtocolError::None, body};
}

void Connection::drop_taken_frames() {
    // Taken bytes are dropped in one move per frame of the client, not one per message.
    inbox_.erase(0, inbox_start_);
    inbox_start_ = 0;
}

} // namespace cog::client

// Non-blocking TCP to the host's game port.
#include "client/net/tcp_transport.h"

#include <algorithm>
#include <cerrno>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::client {

namespace {

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

} // namespace

void TcpTransport::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    connecting_ = false;
    outbox_.clear();
    received_ = 0;
}

ConnectError TcpTransport::start_connect(const HostAddress& host) {
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

ConnectError TcpTransport::finish_connect() { return wait_connect(0); }

ConnectError TcpTransport::wait_connect(int timeout_ms) {
    if (!is_connecting()) return is_open() ? ConnectError::None : ConnectError::Failed;
    ConnectError state = handshake_state(fd_, timeout_ms);
    if (state == ConnectError::InProgress && timeout_ms > 0) state = ConnectError::TimedOut;
    if (state == ConnectError::None) connecting_ = false;
    if (state != ConnectError::None && state != ConnectError::InProgress) close();
    return state;
}

ProtocolError TcpTransport::send(std::string_view body) {
    if (!is_open()) return ProtocolError::ConnectionClosed;
    for (int shift = 24; shift >= 0; shift -= 8) outbox_.push_back(static_cast<char>(body.size() >> shift));
    outbox_.append(body);
    return flush();
}

ProtocolError TcpTransport::flush() {
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

ProtocolError TcpTransport::read_available(size_t max_bytes) {
    if (!is_open()) return ProtocolError::ConnectionClosed;
    char buffer[READ_CHUNK];
    size_t taken = 0;
    while (taken < max_bytes && inbox_.unread() < MAX_INBOX_UNREAD) {
        const size_t room = std::min({sizeof buffer, max_bytes - taken, MAX_INBOX_UNREAD - inbox_.unread()});
        const ssize_t n = ::recv(fd_, buffer, room, 0);
        if (n > 0) {
            inbox_.bytes.append(buffer, static_cast<size_t>(n));
            taken += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        received_ += taken;
        return n == 0 ? ProtocolError::ConnectionClosed : ProtocolError::ReceiveFailed;
    }
    received_ += taken;
    return ProtocolError::None;
}

} // namespace cog::client

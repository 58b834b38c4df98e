// Non-blocking TCP connection to the host, framed as length-prefixed JSON.
#include "client/connection.h"

#include "shared/protocol/json.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::client {

namespace {

// The host stops reading only when it is stuck; more than this queued means it is gone.
constexpr size_t MAX_OUTBOX = 4 * MAX_FRAME_BODY; // bytes

ConnectError error_from_errno(int error) {
    switch (error) {
    case ECONNREFUSED: return ConnectError::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH: return ConnectError::Unreachable;
    case ETIMEDOUT: return ConnectError::TimedOut;
    default: return ConnectError::Failed;
    }
}

ConnectError wait_for_handshake(int fd, int timeout_ms) {
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, timeout_ms);
    if (ready == 0) return ConnectError::TimedOut;
    if (ready < 0) return ConnectError::Failed;
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
    case ConnectError::BadAddress: return "unknown host address";
    case ConnectError::Refused: return "connection refused (is the host running?)";
    case ConnectError::Unreachable: return "host unreachable";
    case ConnectError::TimedOut: return "connection timed out";
    case ConnectError::Failed: return "connection failed";
    }
    return "connection failed";
}

Connection::~Connection() { close(); }

void Connection::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    outbox_.clear();
    inbox_.clear();
    inbox_start_ = 0;
}

ConnectError Connection::open(const std::string& host, uint16_t port, int timeout_ms) {
    close();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        return ConnectError::BadAddress;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ConnectError result = fd < 0 ? ConnectError::Failed : ConnectError::None;
    if (result == ConnectError::None && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0)
        result = errno == EINPROGRESS ? wait_for_handshake(fd, timeout_ms) : error_from_errno(errno);
    freeaddrinfo(found);
    if (result != ConnectError::None) {
        if (fd >= 0) ::close(fd);
        return result;
    }
    // One small INPUT per frame: send each at once rather than batching behind the last ACK.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = fd;
    return ConnectError::None;
}

ProtocolError Connection::send(const ClientMessage& message) {
    if (fd_ < 0) return ProtocolError::ConnectionClosed;
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

ProtocolError Connection::receive(std::vector<HostMessage>& out) {
    if (fd_ < 0) return ProtocolError::ConnectionClosed;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            inbox_.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // The frames that arrived before the close are still worth showing.
        take_frames(out);
        close();
        return n == 0 ? ProtocolError::ConnectionClosed : ProtocolError::ReceiveFailed;
    }
    const ProtocolError error = take_frames(out);
    if (error != ProtocolError::None) close();
    return error;
}

ProtocolError Connection::take_frames(std::vector<HostMessage>& out) {
    while (inbox_.size() - inbox_start_ >= 4) {
        const uint32_t length = read_length(inbox_.data() + inbox_start_);
        if (length == 0) return ProtocolError::InvalidLength;
        if (length > MAX_FRAME_BODY) return ProtocolError::MessageTooLarge;
        if (inbox_.size() - inbox_start_ - 4 < length) break;
        HostMessage m;
        m.strings = std::make_unique<std::pmr::monotonic_buffer_resource>();
        const std::string_view body(inbox_.data() + inbox_start_ + 4, length);
        if (read_json(body, m.message, m.strings.get())) return ProtocolError::JsonDecodeFailed;
        inbox_start_ += 4 + length;
        out.push_back(std::move(m));
    }
    // Consumed bytes are dropped in one move per call, not one per frame.
    inbox_.erase(0, inbox_start_);
    inbox_start_ = 0;
    return ProtocolError::None;
}

} // namespace cog::client

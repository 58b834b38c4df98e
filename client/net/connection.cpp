// Message bodies over a transport: encoding, the size limit, and splitting the inbox.
#include "client/net/connection.h"

#include "client/net/tcp_transport.h"
#include "client/net/web_transport.h"
#include "shared/protocol/json.h"

#include <cstring>
#include <netdb.h>

namespace cog::client {

namespace {

uint32_t read_length(const char* header) {
    const auto* h = reinterpret_cast<const unsigned char*>(header);
    return uint32_t{h[0]} << 24 | uint32_t{h[1]} << 16 | uint32_t{h[2]} << 8 | uint32_t{h[3]};
}

std::unique_ptr<Transport> make_transport(TransportKind kind, Inbox& inbox) {
    if (kind == TransportKind::WebSocket) return std::make_unique<WebTransport>(inbox);
    return std::make_unique<TcpTransport>(inbox);
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
    out.name = host;
    return ConnectError::None;
}

Connection::~Connection() { close(); }

void Connection::close() {
    if (transport_) transport_->close();
    inbox_.bytes.clear();
    inbox_.start = 0;
}

ConnectError Connection::open(const std::string& host, uint16_t port, int timeout_ms, TransportKind transport) {
    close();
    HostAddress address;
    address.transport = transport;
    const ConnectError result = resolve_host(host, port, address);
    return result == ConnectError::None ? open(address, timeout_ms) : result;
}

ConnectError Connection::open(const HostAddress& host, int timeout_ms) {
    const ConnectError result = start_connect(host);
    return result == ConnectError::InProgress ? transport_->wait_connect(timeout_ms) : result;
}

ConnectError Connection::start_connect(const HostAddress& host) {
    close();
    if (!transport_ || transport_->kind() != host.transport) transport_ = make_transport(host.transport, inbox_);
    return transport_->start_connect(host);
}

ConnectError Connection::finish_connect() {
    return transport_ ? transport_->finish_connect() : ConnectError::Failed;
}

ProtocolError Connection::send(const ClientMessage& message) {
    if (!is_open()) return ProtocolError::ConnectionClosed;
    body_.clear();
    write_json(body_, message);
    if (body_.size() > MAX_FRAME_BODY) return ProtocolError::MessageTooLarge;
    const ProtocolError error = transport_->send(body_);
    if (error != ProtocolError::None) close();
    return error;
}

ProtocolError Connection::read_available(size_t max_bytes) {
    return is_open() ? transport_->read_available(max_bytes) : ProtocolError::ConnectionClosed;
}

IncomingFrame Connection::next_frame() {
    if (inbox_.unread() < 4) return {};
    const uint32_t length = read_length(inbox_.bytes.data() + inbox_.start);
    if (length == 0) return {ProtocolError::InvalidLength, {}};
    if (length > MAX_FRAME_BODY) return {ProtocolError::MessageTooLarge, {}};
    if (inbox_.unread() - 4 < length) return {};
    const std::string_view body(inbox_.bytes.data() + inbox_.start + 4, length);
    inbox_.start += 4 + length;
    return {ProtocolError::None, body};
}

void Connection::drop_taken_frames() {
    // Taken bytes are dropped in one move per frame of the client, not one per message.
    inbox_.bytes.erase(0, inbox_.start);
    inbox_.start = 0;
}

} // namespace cog::client

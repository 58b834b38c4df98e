// The client's end of the link to the host, over whichever transport the address names: connect,
// send messages, split what arrived into message bodies. Nothing here waits on the network except
// open(), which the start-up uses before any window exists; a reconnection is finished across frames.
#pragma once

#include "client/net/transport.h"
#include "shared/protocol/messages.h"

#include <memory>
#include <string>
#include <string_view>

namespace cog::client {

// "connection refused", ... for one-line messages.
const char* connect_error_text(ConnectError error);

// Looks the name up (this may wait for the resolver) and keeps it for the transport.
// None or BadAddress. out.transport is left as it is.
ConnectError resolve_host(const std::string& host, uint16_t port, HostAddress& out);

// One complete message taken from what has arrived.
struct IncomingFrame {
    ProtocolError error = ProtocolError::None; // InvalidLength / MessageTooLarge: the stream is broken
    std::string_view body;                     // empty with None: no complete message yet
};

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits at most `timeout_ms` for the handshake (the name is looked up first).
    ConnectError open(const HostAddress& host, int timeout_ms);
    ConnectError open(const std::string& host, uint16_t port, int timeout_ms,
                      TransportKind transport = TransportKind::Tcp);
    // Starts a connection without waiting: None (connected at once), InProgress, or a failure.
    ConnectError start_connect(const HostAddress& host);
    // Checks a started connection without waiting: None once connected, InProgress, or a failure
    // (the attempt is then closed).
    ConnectError finish_connect();
    void close();
    bool is_open() const { return transport_ && transport_->is_open(); }
    bool is_connecting() const { return transport_ && transport_->is_connecting(); }

    // Queues one message and sends what the host takes. ConnectionClosed or SendFailed: the link
    // is gone (or the host stopped reading) and the connection is closed.
    ProtocolError send(const ClientMessage& message);
    // Bytes queued that the host has not taken yet.
    size_t unsent_bytes() const { return transport_ ? transport_->unsent_bytes() : 0; }

    // Reads what has arrived, at most about `max_bytes` this call and never more than two whole
    // messages ahead of the reader. ConnectionClosed / ReceiveFailed: the peer is gone, but the
    // messages that came before still wait to be taken; the caller closes.
    ProtocolError read_available(size_t max_bytes);
    // The next complete message; its bytes stay valid until drop_taken_frames().
    IncomingFrame next_frame();
    void drop_taken_frames();
    // Messages the transport dropped whole since the last call (too large, or empty).
    size_t take_skipped_messages() { return transport_ ? transport_->take_skipped() : 0; }
    TrafficCount traffic() const { return transport_ ? transport_->traffic() : TrafficCount{}; }

private:
    Inbox inbox_;
    std::unique_ptr<Transport> transport_; // made for the kind of the last address connected to
    std::string body_;                     // the message being encoded
};

} // namespace cog::client

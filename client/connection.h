// The client's end of the TCP stream: connect, queue outgoing frames, split incoming ones.
// The socket is non-blocking and a reconnection is finished across frames, so that a slow or
// vanished host never freezes the window.
#pragma once

#include "shared/protocol/framing.h"
#include "shared/protocol/messages.h"

#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <string_view>

namespace cog::client {

enum class ConnectError { None, InProgress, BadAddress, Refused, Unreachable, TimedOut, Failed };

// "connection refused", ... for one-line messages.
const char* connect_error_text(ConnectError error);

// The host's address, looked up once so that reconnecting never waits for a name lookup.
struct HostAddress {
    sockaddr_in address{};
};

// Looks the name up (this may wait for the resolver). None or BadAddress.
ConnectError resolve_host(const std::string& host, uint16_t port, HostAddress& out);

// One complete frame taken from what has arrived.
struct IncomingFrame {
    ProtocolError error = ProtocolError::None; // InvalidLength / MessageTooLarge: the stream is broken
    std::string_view body;                     // empty with None: no complete frame yet
};

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits at most `timeout_ms` for the TCP handshake (the name is looked up first).
    ConnectError open(const HostAddress& host, int timeout_ms);
    ConnectError open(const std::string& host, uint16_t port, int timeout_ms);
    // Starts a connection without waiting: None (connected at once), InProgress, or a failure.
    ConnectError start_connect(const HostAddress& host);
    // Checks a started connection without waiting: None once connected, InProgress, or a failure
    // (the attempt is then closed).
    ConnectError finish_connect();
    void close();
    bool is_open() const { return fd_ >= 0 && !connecting_; }
    bool is_connecting() const { return fd_ >= 0 && connecting_; }

    // Queues one frame and writes what the socket takes. ConnectionClosed or SendFailed: the stream
    // is gone (or the host stopped reading) and the connection is closed.
    ProtocolError send(const ClientMessage& message);
    // Bytes queued that the socket has not taken yet.
    size_t unsent_bytes() const { return outbox_.size(); }

    // Reads what has arrived, at most `max_bytes` this call and never more than two whole frames
    // ahead of the reader. ConnectionClosed / ReceiveFailed: the peer is gone, but the frames that
    // came before still wait to be taken; the caller closes.
    ProtocolError read_available(size_t max_bytes);
    // The next complete frame; its bytes stay valid until drop_taken_frames().
    IncomingFrame next_frame();
    void drop_taken_frames();

private:
    ProtocolError flush();

    int fd_ = -1;
    bool connecting_ = false;
    std::string outbox_;       // frames not yet written
    std::string inbox_;        // bytes read, not yet split into frames
    size_t inbox_start_ = 0;   // bytes of inbox_ already taken
};

} // namespace cog::client

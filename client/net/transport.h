// A way of reaching the host, as the connection sees it: connecting without waiting, whole message
// bodies out, and whole messages in, written to the connection's inbox in the stream's framing.
#pragma once

#include "shared/protocol/framing.h"

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <string_view>

namespace cog::client {

enum class ConnectError { None, InProgress, BadAddress, Refused, Unreachable, TimedOut, Failed };

// WebSocket: the host's web endpoint, compressed. Tcp: the plain game port.
enum class TransportKind : uint8_t { WebSocket, Tcp };

// The host's address, looked up once so that reconnecting never waits for a name lookup.
struct HostAddress {
    sockaddr_in address{};
    TransportKind transport = TransportKind::Tcp;
    std::string name; // as the player gave it; a WebSocket names it in its request
    bool tls = false;      // WebSocket over TLS (wss://)
    bool insecure = false; // with tls: take any certificate, e.g. a self-signed one for testing
    std::string room;      // a WebSocket through a front door: the room's code; empty: the host itself
};

// Unread bytes held at most: room for a whole frame behind a partly read one.
inline constexpr size_t MAX_INBOX_UNREAD = 2 * (MAX_FRAME_BODY + 4); // bytes
// The host stops reading only when it is stuck; more than this queued means it is gone.
inline constexpr size_t MAX_OUTBOX = 4 * MAX_FRAME_BODY; // bytes

// Received messages, each a 4-byte big-endian length and its body, and how much of them is taken.
struct Inbox {
    std::string bytes;
    size_t start = 0;
    size_t unread() const { return bytes.size() - start; }
};

// What arrived over a connection so far.
struct TrafficCount {
    uint64_t wire_bytes = 0;    // as the socket received them
    uint64_t message_bytes = 0; // message bodies, decompressed
    bool compressed = false;    // the host agreed to compress its messages
};

class Transport {
public:
    virtual ~Transport() = default;
    virtual TransportKind kind() const = 0;
    // None (connected at once), InProgress, or a failure.
    virtual ConnectError start_connect(const HostAddress& host) = 0;
    // Never waits: None once connected, InProgress, or a failure (the attempt is then closed).
    virtual ConnectError finish_connect() = 0;
    // Waits at most `timeout_ms` for the started attempt; TimedOut when it is not done by then.
    virtual ConnectError wait_connect(int timeout_ms) = 0;
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    virtual bool is_connecting() const = 0;
    // Queues one message body and sends what the host takes now.
    virtual ProtocolError send(std::string_view body) = 0;
    virtual size_t unsent_bytes() const = 0;
    // Moves what has arrived into the inbox, about `max_bytes` this call and never past
    // MAX_INBOX_UNREAD. ConnectionClosed / ReceiveFailed: the peer is gone; what came before stays.
    virtual ProtocolError read_available(size_t max_bytes) = 0;
    // Messages dropped whole since the last call (too large, or empty).
    virtual size_t take_skipped() = 0;
    virtual TrafficCount traffic() const = 0;
};

} // namespace cog::client

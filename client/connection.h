// The client's end of the TCP stream: connect, queue outgoing frames, split and decode incoming ones.
// The socket is non-blocking so that a slow or vanished host never freezes the window.
#pragma once

#include "shared/protocol/framing.h"
#include "shared/protocol/messages.h"

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <vector>

namespace cog::client {

enum class ConnectError { None, BadAddress, Refused, Unreachable, TimedOut, Failed };

// "connection refused", ... for one-line messages.
const char* connect_error_text(ConnectError error);

// A decoded host message that owns the bytes of its texts.
struct HostMessage {
    std::unique_ptr<std::pmr::monotonic_buffer_resource> strings;
    ServerMessage message;
};

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits at most `timeout_ms` for the TCP handshake.
    ConnectError open(const std::string& host, uint16_t port, int timeout_ms);
    void close();
    bool is_open() const { return fd_ >= 0; }

    // Queues one frame and writes what the socket takes. ConnectionClosed or SendFailed: the stream
    // is gone (or the host stopped reading) and the connection is closed.
    ProtocolError send(const ClientMessage& message);

    // Appends every complete message that has arrived. None or Would_Block keep the connection;
    // anything else closes it (the peer left, a bad header, undecodable JSON).
    ProtocolError receive(std::vector<HostMessage>& out);

private:
    ProtocolError flush();
    ProtocolError take_frames(std::vector<HostMessage>& out);

    int fd_ = -1;
    std::string outbox_;       // frames not yet written
    std::string inbox_;        // bytes read, not yet split into frames
    size_t inbox_start_ = 0;   // bytes of inbox_ already consumed
};

} // namespace cog::client

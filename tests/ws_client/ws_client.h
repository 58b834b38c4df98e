// A WebSocket client for tests and the load benchmark, written from the protocol itself rather
// than with the host's library: plain sockets, its own framing and its own zlib inflater, so the
// host's bytes are checked by an independent reader. Never blocks for long: every wait is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace cog::test {

class WsClient {
public:
    // Connects from loopback address `source` and sends the upgrade request; `deflate` offers
    // permessage-deflate, `protocol` (when not empty) asks for that subprotocol. The handshake completes in receive() (or
    // wait_open()), so a host driven frame by frame can answer it.
    WsClient(uint16_t port, bool deflate, std::string_view path = "/play", std::string_view protocol = {},
             const char* source = "127.0.0.1");
    ~WsClient();
    WsClient(const WsClient&) = delete;
    WsClient& operator=(const WsClient&) = delete;

    // Reads until the handshake answer arrived or `wait_ms` passed; true when upgraded (101).
    bool wait_open(int wait_ms);
    bool is_open() const { return open_; }
    bool deflate_accepted() const { return deflate_; }
    // The subprotocol the server chose, empty when none.
    const std::string& protocol() const { return protocol_; }
    int fd() const { return fd_; }

    // One masked text message (uncompressed); queued and written without blocking.
    void send_text(std::string_view body);
    // The same, compressed as permessage-deflate allows once it was accepted: a few bytes on the
    // wire may carry a large message.
    void send_compressed(std::string_view body);
    // Writes what the socket takes of the queued bytes; true when all went.
    bool flush();

    // Every whole message that arrives within `wait_ms` (the wait restarts after each read).
    std::vector<std::string> receive(int wait_ms);
    // True when the host closed the connection (close frame, EOF or reset).
    bool closed_by_peer(int wait_ms);

    size_t wire_bytes() const { return wire_bytes_; }       // bytes read from the socket
    size_t message_bytes() const { return message_bytes_; } // bodies after inflating

private:
    bool read_some(int wait_ms);
    void queue_frame(unsigned char first_byte, std::string_view body);
    void parse_handshake();
    bool take_frame(std::vector<std::string>& out);

    int fd_ = -1;
    bool open_ = false, deflate_ = false, closed_ = false;
    std::string in_, out_;
    std::string protocol_;
    std::string message_;      // fragments of the message being received
    bool message_compressed_ = false;
    z_stream inflater_{};
    bool inflater_ready_ = false;
    z_stream deflater_{};
    bool deflater_ready_ = false;
    int client_window_bits_ = 15; // the window the server let this client compress with
    size_t wire_bytes_ = 0, message_bytes_ = 0;
};

// One plain HTTP GET with `raw_path` exactly as given, read without blocking so that the server
// can run in the same thread between two calls of poll(). `extra_headers` (each line ending in
// CRLF) replace "Connection: close"; `source` is the loopback address it comes from.
class HttpGet {
public:
    HttpGet(uint16_t port, std::string_view raw_path, std::string_view extra_headers = {},
            const char* source = "127.0.0.1");
    ~HttpGet();
    HttpGet(const HttpGet&) = delete;
    HttpGet& operator=(const HttpGet&) = delete;

    // Reads what has arrived; true once the whole answer is in (or the server closed).
    bool poll(int wait_ms = 1);
    int status() const; // 0: no answer
    std::string body() const;

private:
    int fd_ = -1;
    std::string in_;
    bool done_ = false;
};

// A socket from loopback address `source` that sends the start of a request and then one header
// line whenever dribble() is called, never finishing it.
class DribblingRequest {
public:
    DribblingRequest(uint16_t port, const char* source);
    ~DribblingRequest();
    DribblingRequest(const DribblingRequest&) = delete;
    DribblingRequest& operator=(const DribblingRequest&) = delete;
    void dribble();
    // The server closed it (EOF or reset); false while it is open or still connecting.
    bool closed_by_peer();

private:
    int fd_ = -1;
};

// Runs `step` (e.g. one host frame) until `done` holds or `max_steps` ran; true when it held.
template <class Step, class Done> bool drive_until(Step step, Done done, int max_steps) {
    for (int i = 0; i < max_steps; ++i) {
        if (done()) return true;
        step();
    }
    return done();
}

} // namespace cog::test

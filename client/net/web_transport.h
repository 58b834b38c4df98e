// The WebSocket transport: the host's web endpoint at WEB_PLAY_PATH through libwebsockets, with
// permessage-deflate. The library is serviced only from the calls below and never waits there,
// so the frame loop stays in charge of time; each WebSocket message is one message body.
#pragma once

#include "client/net/transport.h"

#include <deque>

struct lws;
struct lws_context;

namespace cog::client {

inline constexpr const char* WEB_PLAY_PATH = "/play";

// The WebSocket's path: WEB_PLAY_PATH on the host itself, /r/CODE/play through a front door
// that forwards it to the room CODE.
std::string web_play_path(const std::string& room);

class WebTransport final : public Transport {
public:
    explicit WebTransport(Inbox& inbox) : inbox_(inbox) {}
    ~WebTransport() override;
    WebTransport(const WebTransport&) = delete;
    WebTransport& operator=(const WebTransport&) = delete;

    TransportKind kind() const override { return TransportKind::WebSocket; }
    ConnectError start_connect(const HostAddress& host) override;
    ConnectError finish_connect() override;
    ConnectError wait_connect(int timeout_ms) override;
    void close() override;
    bool is_open() const override { return stage_ == Stage::Open || stage_ == Stage::PeerGone; }
    bool is_connecting() const override { return stage_ == Stage::Connecting; }
    ProtocolError send(std::string_view body) override;
    size_t unsent_bytes() const override;
    ProtocolError read_available(size_t max_bytes) override;
    size_t take_skipped() override;
    TrafficCount traffic() const override;

    // Library callbacks land here.
    int on_event(struct lws* wsi, int reason, void* in, size_t len);

private:
    enum class Stage { Closed, Connecting, Open, PeerGone };

    bool make_context();
    void service_once();
    void receive(std::string_view bytes, bool last);
    void deliver(std::string_view body);
    void pause_reading(bool pause);
    int write_next();
    void peer_gone(const char* reason); // the library closed the connection or the attempt

    Inbox& inbox_;
    lws_context* context_ = nullptr;
    struct lws* wsi_ = nullptr;
    Stage stage_ = Stage::Closed;
    ConnectError failure_ = ConnectError::None; // why the last attempt ended
    std::string address_text_;                  // the attempt's numeric address and Host header
    std::string host_name_;
    std::string path_; // the attempt's request path
    std::deque<std::string> outbox_; // bodies behind the library's headroom
    size_t outbox_bytes_ = 0;
    std::string partial_;            // the message being received
    bool skipping_ = false;          // the rest of a message too large to keep
    size_t skipped_ = 0;
    bool paused_ = false;
    size_t budget_left_ = 0;         // bytes this read may still take before reading pauses
    uint64_t message_bytes_ = 0;
    uint64_t wire_bytes_ = 0;        // as of the last read
    bool compressed_ = false;
};

} // namespace cog::client

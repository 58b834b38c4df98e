// The plain TCP transport: a non-blocking socket carrying length-prefixed frames both ways.
#pragma once

#include "client/net/transport.h"

namespace cog::client {

class TcpTransport final : public Transport {
public:
    explicit TcpTransport(Inbox& inbox) : inbox_(inbox) {}
    ~TcpTransport() override { close(); }
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;

    TransportKind kind() const override { return TransportKind::Tcp; }
    ConnectError start_connect(const HostAddress& host) override;
    ConnectError finish_connect() override;
    ConnectError wait_connect(int timeout_ms) override;
    void close() override;
    bool is_open() const override { return fd_ >= 0 && !connecting_; }
    bool is_connecting() const override { return fd_ >= 0 && connecting_; }
    ProtocolError send(std::string_view body) override;
    size_t unsent_bytes() const override { return outbox_.size(); }
    ProtocolError read_available(size_t max_bytes) override;
    size_t take_skipped() override { return 0; } // a frame too large breaks the stream instead
    TrafficCount traffic() const override { return {received_, received_, false}; }

private:
    ProtocolError flush();

    Inbox& inbox_;
    int fd_ = -1;
    bool connecting_ = false;
    std::string outbox_; // frames not yet written
    uint64_t received_ = 0;
};

} // namespace cog::client

// One browser's WebSocket as the host sees it: complete messages in, whole messages out, both
// bounded, and the reason it can no longer be used. Only the web endpoint touches the socket;
// the host reads and writes messages here between two services.
#pragma once

#include "server/web/pair_deflater.h"
#include "shared/protocol/framing.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

struct lws;

namespace cog::web {

// A message longer than this (the stream's frame limit) drops its sender.
inline constexpr size_t MAX_WEB_MESSAGE_BYTES = 1048576;
// The longest message a channel sends: well past the frame limit the host keeps to, so a stand-in
// may still send a client one too large, and within what the compressor deflates in one step.
inline constexpr size_t MAX_WEB_SEND_BYTES = 2 * MAX_WEB_MESSAGE_BYTES - 65536;
// Received messages waiting for the host beyond this many bytes stop the reading of the socket
// until the host has taken some; the browser waits in TCP's flow control.
inline constexpr size_t INBOX_PAUSE_BYTES = 2 * MAX_WEB_MESSAGE_BYTES;
// Outgoing bytes a browser may leave unsent; beyond this it cannot keep up and is dropped, like a
// TCP client whose send buffer is full.
inline constexpr size_t MAX_OUTBOX_BYTES = 4 * MAX_WEB_MESSAGE_BYTES;

// Received bytes held by all channels together (waiting messages and unfinished ones), beyond
// each channel's first FRAME_GROWTH_FREE_BYTES. Past it, every channel holding more than its free
// share stops reading until the host has taken messages, so many browsers sending large messages
// at once cannot exhaust memory, while ordinary small messages always get through.
inline constexpr size_t MAX_WEB_RECEIVED_BYTES = 32u << 20;

// next_message_bytes() when no whole message is waiting.
inline constexpr size_t NO_MESSAGE = SIZE_MAX;

// Why a channel is unusable; the host names it in its drop line.
enum class ChannelFault : uint8_t { None, Closed, TooLarge, OutboxFull };

class WebChannel {
public:
    WebChannel() = default;
    // Received bytes are counted in `pool`, shared by the endpoint's channels.
    explicit WebChannel(std::shared_ptr<FramePool> pool) : pool_(std::move(pool)) {}
    ~WebChannel();
    WebChannel(const WebChannel&) = delete;
    WebChannel& operator=(const WebChannel&) = delete;

    // Host side ---------------------------------------------------------------------------------
    // The oldest complete message, moved into `out`; false when none is waiting.
    bool take_message(std::string& out);
    // A message taken, once read: its storage holds a later one.
    void give_back(std::string&& message);
    // The size of the message take_message would return, or NO_MESSAGE.
    size_t next_message_bytes() const { return inbox_.empty() ? NO_MESSAGE : inbox_.front().size(); }
    // Queues one whole message. False when it does not fit the outbox: the channel is then at
    // fault (OutboxFull) and takes nothing more.
    bool queue(std::string_view body);
    // Some bytes of a message have arrived but not all of them.
    bool message_started() const { return !partial_.empty() || partial_started_; }
    ChannelFault fault() const { return fault_; }
    // The host is done with it: the endpoint closes the socket at its next service.
    void close() { close_requested_ = true; }
    const std::string& peer() const { return peer_; }

    // Endpoint side -----------------------------------------------------------------------------
    // One received fragment; `last` completes the message.
    void receive(std::string_view bytes, bool last);
    void set_fault(ChannelFault fault);
    bool close_requested() const { return close_requested_; }
    bool has_output() const { return !outbox_.empty(); }
    // The next outgoing message with the library's headroom before it; pop_output() after writing.
    std::string& next_output() { return outbox_.front(); }
    void pop_output();
    // Reading is paused while the inbox is over its bound, or while this channel holds more than
    // its free share and the shared pool is spent.
    bool inbox_full() const {
        return inbox_bytes_ > INBOX_PAUSE_BYTES || (pool_ && pooled_ > 0 && pool_->held > pool_->limit);
    }
    size_t inbox_bytes() const { return inbox_bytes_; }
    size_t outbox_bytes() const { return outbox_bytes_; }

    ::lws* wsi = nullptr;   // nullptr once the library has closed the connection
    bool reading_paused = false;
    size_t read_this_round = 0; // bytes delivered in the service round, with each piece's overhead
    bool picture_changes = false; // the browser named the subprotocol for pictures as changes
    // The host compresses this channel's messages itself, each against the one before
    // (picture changes with permessage-deflate agreed); otherwise the library does.
    bool host_deflates = false;
    ClientHistory history;        // what the browser's inflater holds, when the host deflates
    std::string peer_;      // "address:port"

private:
    // Brings this channel's share of the pool in line with the bytes it holds.
    void account();

    std::shared_ptr<FramePool> pool_; // nullptr: not counted
    size_t pooled_ = 0;               // bytes drawn from pool_
    std::deque<std::string> inbox_;
    size_t inbox_bytes_ = 0;
    std::string partial_;
    bool partial_started_ = false; // a fragment arrived, even an empty one
    std::deque<std::string> outbox_; // each with WEB_HEADROOM bytes before the body
    std::string spare_in_, spare_out_; // storage of messages done with, for the next ones
    size_t outbox_bytes_ = 0;
    ChannelFault fault_ = ChannelFault::None;
    bool close_requested_ = false;
};

// Bytes the library writes its frame header into, before each outgoing body.
size_t web_headroom();

} // namespace cog::web

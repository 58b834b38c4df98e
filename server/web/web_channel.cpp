// Bounded message queues of one WebSocket.
#include "server/web/web_channel.h"

#include <libwebsockets.h>

#include <utility>

namespace cog::web {

size_t web_headroom() { return LWS_PRE; }

WebChannel::~WebChannel() {
    if (pool_) pool_->held -= pooled_;
}

void WebChannel::account() {
    if (!pool_) return;
    const size_t held = inbox_bytes_ + partial_.size();
    const size_t pooled = held > FRAME_GROWTH_FREE_BYTES ? held - FRAME_GROWTH_FREE_BYTES : 0;
    pool_->held = pool_->held - pooled_ + pooled;
    pooled_ = pooled;
}

bool WebChannel::take_message(std::string& out) {
    if (inbox_.empty()) return false;
    out = std::move(inbox_.front());
    inbox_.pop_front();
    inbox_bytes_ -= out.size();
    account();
    return true;
}

bool WebChannel::queue(std::string_view body) {
    if (fault_ != ChannelFault::None) return false;
    // No message of the protocol is empty, and the library's compressor aborts the process on
    // an empty write: one is taken as sent without going anywhere.
    if (body.empty()) return true;
    if (body.size() > MAX_WEB_SEND_BYTES) return false;
    if (outbox_bytes_ + body.size() > MAX_OUTBOX_BYTES) {
        set_fault(ChannelFault::OutboxFull);
        return false;
    }
    std::string framed(LWS_PRE, '\0');
    framed.append(body);
    outbox_.push_back(std::move(framed));
    outbox_bytes_ += body.size();
    return true;
}

void WebChannel::receive(std::string_view bytes, bool last) {
    if (fault_ != ChannelFault::None) return;
    if (partial_.size() + bytes.size() > MAX_WEB_MESSAGE_BYTES) {
        // Nothing of it is kept: the host drops the sender.
        partial_ = std::string();
        partial_started_ = false;
        set_fault(ChannelFault::TooLarge);
        account();
        return;
    }
    partial_.append(bytes);
    partial_started_ = true;
    if (last) {
        inbox_bytes_ += partial_.size();
        inbox_.push_back(std::move(partial_));
        partial_ = std::string();
        partial_started_ = false;
    }
    account();
}

void WebChannel::set_fault(ChannelFault fault) {
    if (fault_ == ChannelFault::None) fault_ = fault;
}

void WebChannel::pop_output() {
    outbox_bytes_ -= outbox_.front().size() - LWS_PRE;
    outbox_.pop_front();
}

} // namespace cog::web

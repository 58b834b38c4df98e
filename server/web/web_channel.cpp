// Bounded message queues of one WebSocket.
#include "server/web/web_channel.h"

#include <libwebsockets.h>

#include <utility>

namespace cog::web {

size_t web_headroom() { return LWS_PRE; }

WebChannel::~WebChannel() {
    if (pool_) pool_->held -= pooled_;
}

namespace {
// Buffers up to this size are kept for the next message instead of going back to malloc, which
// for a message every frame per browser costs more than the copy into them.
constexpr size_t KEPT_BUFFER_BYTES = 65536;

void keep_buffer(std::string&& buffer, std::string& spare) {
    if (buffer.capacity() > KEPT_BUFFER_BYTES || buffer.capacity() <= spare.capacity()) return;
    spare = std::move(buffer);
    spare.clear();
}

// An empty string, with the spare's storage when there is one.
std::string reuse_buffer(std::string& spare) {
    std::string buffer = std::move(spare);
    spare = std::string();
    buffer.clear();
    return buffer;
}
} // namespace

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
    std::string framed = reuse_buffer(spare_out_);
    framed.append(LWS_PRE, '\0');
    framed.append(body);
    outbox_.push_back(std::move(framed));
    outbox_bytes_ += body.size();
    return true;
}

void WebChannel::receive(std::string_view bytes, bool last) {
    if (fault_ != ChannelFault::None) return;
    if (partial_.size() + bytes.size() > MAX_WEB_MESSAGE_BYTES) {
        // Nothing of it is kept: the host drops the sender. (Assigning an empty string would keep
        // the storage.)
        std::string().swap(partial_);
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
        partial_ = reuse_buffer(spare_in_);
        partial_started_ = false;
    }
    account();
}

void WebChannel::give_back(std::string&& message) { keep_buffer(std::move(message), spare_in_); }

void WebChannel::set_fault(ChannelFault fault) {
    if (fault_ == ChannelFault::None) fault_ = fault;
}

void WebChannel::pop_output() {
    outbox_bytes_ -= outbox_.front().size() - LWS_PRE;
    keep_buffer(std::move(outbox_.front()), spare_out_);
    outbox_.pop_front();
}

} // namespace cog::web

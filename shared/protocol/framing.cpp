// Frame send and receive on non-blocking stream sockets.
#include "shared/protocol/framing.h"

#include "shared/log/log.h"
#include "shared/protocol/json.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>

namespace cog {

FrameReader::FrameReader(FrameReader&& other) noexcept { *this = std::move(other); }

FrameReader& FrameReader::operator=(FrameReader&& other) noexcept {
    if (this == &other) return *this;
    release_pool();
    std::memcpy(header_, other.header_, sizeof header_);
    header_have_ = other.header_have_;
    declared_ = other.declared_;
    body_ = std::move(other.body_);
    body_have_ = other.body_have_;
    pool_ = other.pool_;
    pooled_ = other.pooled_;
    other.header_have_ = 0;
    other.declared_ = 0;
    other.body_.clear();
    other.body_have_ = 0;
    other.pooled_ = 0;
    return *this;
}

FrameReader::~FrameReader() { release_pool(); }

void FrameReader::release_pool() {
    if (pool_) pool_->held -= pooled_;
    pooled_ = 0;
}

// Private access to a FrameReader's partial frame.
struct FrameReaderAccess {
    static void reset(FrameReader& r) {
        r.header_have_ = 0;
        r.declared_ = 0;
        r.body_have_ = 0;
        r.release_pool();
        // One huge frame must not pin a megabyte per connection for the rest of the run.
        if (r.body_.capacity() > KEEP_BODY_CAPACITY) std::vector<char>().swap(r.body_);
        r.body_.clear();
    }

    // Completes as much of the current frame as the socket holds. On None, `body` is the whole
    // body, valid until reset() is called.
    // `budget` is the number of bytes this call may still read; it is lowered by what is read.
    static ProtocolError read_frame(int fd, FrameReader& r, std::string_view& body, size_t& budget) {
        while (r.header_have_ < 4) {
            if (budget == 0) return ProtocolError::Would_Block;
            const ssize_t n = recv(fd, r.header_ + r.header_have_, std::min(4 - r.header_have_, budget), 0);
            if (n > 0) {
                r.header_have_ += static_cast<size_t>(n);
                budget -= static_cast<size_t>(n);
                continue;
            }
            const ProtocolError error = read_failure(n);
            if (error == ProtocolError::None) continue; // interrupted: try again
            if (error != ProtocolError::Would_Block) reset(r);
            return error;
        }
        if (r.declared_ == 0) {
            const uint32_t length = uint32_t{r.header_[0]} << 24 | uint32_t{r.header_[1]} << 16 |
                                    uint32_t{r.header_[2]} << 8 | uint32_t{r.header_[3]};
            if (length == 0 || length > MAX_FRAME_BODY) {
                reset(r);
                return length == 0 ? ProtocolError::InvalidLength : ProtocolError::MessageTooLarge;
            }
            r.declared_ = length;
        }
        while (r.body_have_ < r.declared_) {
            if (budget == 0) return ProtocolError::Would_Block;
            if (r.body_have_ == r.body_.size()) {
                const ProtocolError grown = grow_body(r);
                if (grown != ProtocolError::None) return grown;
            }
            const ssize_t n =
                recv(fd, r.body_.data() + r.body_have_, std::min(r.body_.size() - r.body_have_, budget), 0);
            if (n > 0) {
                r.body_have_ += static_cast<size_t>(n);
                budget -= static_cast<size_t>(n);
                continue;
            }
            const ProtocolError error = read_failure(n);
            if (error == ProtocolError::None) continue;
            if (error != ProtocolError::Would_Block) reset(r);
            return error;
        }
        body = std::string_view(r.body_.data(), r.declared_);
        return ProtocolError::None;
    }

    // Makes room for more of the body: doubling, so a large frame costs few copies, but never
    // past the declared length. Would_Block when the shared pool cannot pay for the growth yet.
    static ProtocolError grow_body(FrameReader& r) {
        const size_t size = std::min<size_t>(r.declared_, std::max<size_t>(r.body_.size() * 2, MIN_BODY_BYTES));
        const size_t pooled = size > FRAME_GROWTH_FREE_BYTES ? size - FRAME_GROWTH_FREE_BYTES : 0;
        if (r.pool_ && pooled > r.pooled_) {
            if (r.pool_->held + (pooled - r.pooled_) > r.pool_->limit) return ProtocolError::Would_Block;
            r.pool_->held += pooled - r.pooled_;
            r.pooled_ = pooled;
        }
        try {
            r.body_.reserve(size);
            r.body_.resize(size);
        } catch (...) {
            reset(r);
            return ProtocolError::AllocationFailed;
        }
        return ProtocolError::None;
    }

    // What a recv result of 0 or -1 means; None for an interrupted call that should be retried.
    static ProtocolError read_failure(ssize_t n) {
        if (n == 0) return ProtocolError::ConnectionClosed;
        if (errno == EINTR) return ProtocolError::None;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ProtocolError::Would_Block;
        return ProtocolError::ReceiveFailed;
    }

    static constexpr size_t KEEP_BODY_CAPACITY = FRAME_GROWTH_FREE_BYTES; // bytes
    static constexpr size_t MIN_BODY_BYTES = 4096;
};

Received receive_message(int fd, FrameReader& reader, std::pmr::memory_resource* strings, size_t max_bytes,
                         std::string* body_copy) {
    Received result;
    std::string_view body;
    size_t budget = max_bytes;
    result.error = FrameReaderAccess::read_frame(fd, reader, body, budget);
    result.bytes_read = max_bytes - budget;
    if (result.error != ProtocolError::None) return result;
    if (body_copy) body_copy->assign(body);
    result.error = decode_client_message(body, result.message, strings);
    FrameReaderAccess::reset(reader);
    return result;
}

ProtocolError decode_client_message(std::string_view body, ClientMessage& out, std::pmr::memory_resource* strings,
                                    const std::source_location& site) {
    const JsonError error = read_json(body, out, strings);
    if (!error) return ProtocolError::None;
    log_write(LogLevel::Error, site, "JSON unmarshal error: %s", json_error_text(error).c_str());
    out = ClientMessage{};
    return ProtocolError::JsonDecodeFailed;
}

ProtocolError finish_frame(char* frame, size_t size) {
    const size_t body = size - 4;
    if (body > MAX_FRAME_BODY) return ProtocolError::MessageTooLarge;
    frame[0] = static_cast<char>(body >> 24);
    frame[1] = static_cast<char>(body >> 16);
    frame[2] = static_cast<char>(body >> 8);
    frame[3] = static_cast<char>(body);
    return ProtocolError::None;
}

ProtocolError send_frame(int fd, std::string_view frame) {
    size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n == 0) {
            return ProtocolError::ConnectionClosed;
        } else if (errno != EINTR) {
            // Would-block included: a client that cannot take a whole frame is not waited for.
            return ProtocolError::SendFailed;
        }
    }
    return ProtocolError::None;
}

ProtocolError encode_frame(const ServerMessage& message, std::string& frame) {
    try {
        frame.assign(4, '\0');
        write_json(frame, message);
    } catch (const std::exception& e) {
        LOG_ERROR("JSON marshal error: %s", e.what());
        return ProtocolError::JsonEncodeFailed;
    }
    return finish_frame(frame.data(), frame.size());
}

ProtocolError send_message(int fd, const ServerMessage& message) {
    // Header and body go out in one buffer, so a frame normally costs one system call.
    std::string frame;
    const ProtocolError error = encode_frame(message, frame);
    return error == ProtocolError::None ? send_frame(fd, frame) : error;
}

} // namespace cog

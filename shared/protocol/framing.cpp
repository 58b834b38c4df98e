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

// Private access to a FrameReader's partial frame.
struct FrameReaderAccess {
    static void reset(FrameReader& r) {
        r.header_have_ = 0;
        r.body_have_ = 0;
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
        if (r.body_have_ == 0 && r.body_.empty()) {
            const uint32_t length = uint32_t{r.header_[0]} << 24 | uint32_t{r.header_[1]} << 16 |
                                    uint32_t{r.header_[2]} << 8 | uint32_t{r.header_[3]};
            // The length is checked before anything is allocated for it.
            if (length == 0 || length > MAX_FRAME_BODY) {
                reset(r);
                return length == 0 ? ProtocolError::InvalidLength : ProtocolError::MessageTooLarge;
            }
            try {
                r.body_.resize(length);
            } catch (...) {
                reset(r);
                return ProtocolError::AllocationFailed;
            }
        }
        while (r.body_have_ < r.body_.size()) {
            if (budget == 0) return ProtocolError::Would_Block;
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
        body = std::string_view(r.body_.data(), r.body_.size());
        return ProtocolError::None;
    }

    // What a recv result of 0 or -1 means; None for an interrupted call that should be retried.
    static ProtocolError read_failure(ssize_t n) {
        if (n == 0) return ProtocolError::ConnectionClosed;
        if (errno == EINTR) return ProtocolError::None;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ProtocolError::Would_Block;
        return ProtocolError::ReceiveFailed;
    }

    static constexpr size_t KEEP_BODY_CAPACITY = 64 * 1024; // bytes
};

Received receive_message(int fd, FrameReader& reader, std::pmr::memory_resource* strings, size_t max_bytes) {
    Received result;
    std::string_view body;
    size_t budget = max_bytes;
    result.error = FrameReaderAccess::read_frame(fd, reader, body, budget);
    result.bytes_read = max_bytes - budget;
    if (result.error != ProtocolError::None) return result;
    const JsonError decode_error = read_json(body, result.message, strings);
    FrameReaderAccess::reset(reader);
    if (decode_error) {
        LOG_ERROR("JSON unmarshal error: %s", json_error_text(decode_error).c_str());
        result.message = ClientMessage{};
        result.error = ProtocolError::JsonDecodeFailed;
    }
    return result;
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

ProtocolError send_message(int fd, const ServerMessage& message) {
    // Header and body go out in one buffer, so a frame normally costs one system call.
    std::string frame;
    try {
        frame.assign(4, '\0');
        write_json(frame, message);
    } catch (const std::exception& e) {
        LOG_ERROR("JSON marshal error: %s", e.what());
        return ProtocolError::JsonEncodeFailed;
    }
    const ProtocolError error = finish_frame(frame.data(), frame.size());
    return error == ProtocolError::None ? send_frame(fd, frame) : error;
}

} // namespace cog

// Length-prefixed frames on a stream socket: a 4-byte big-endian length, then that many bytes of JSON.
//
// Reading never waits for a client. A frame that has started but not finished is kept in the
// connection's FrameReader and completed by a later call; until then the call reports
// Would_Block. The caller can therefore serve every other client while one dribbles bytes, and
// can use frame_started() to drop a client whose frame stays unfinished for too long.
//
// Reads stop exactly at the end of the current frame, so no byte of the next frame is ever held
// here: whatever a call does not return stays in the socket. A rejected header (InvalidLength,
// MessageTooLarge) is consumed and the reader is reset, but the stream is misaligned from there
// on; the caller should drop the connection.
#pragma once

#include "shared/protocol/messages.h"

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

namespace cog {

inline constexpr uint32_t MAX_FRAME_BODY = 1048576; // bytes (1 MiB)

enum class ProtocolError : int64_t {
    None = 0,
    ConnectionClosed = 1,
    MessageTooLarge = 2,
    InvalidLength = 3,
    SendFailed = 4,
    ReceiveFailed = 5,
    JsonEncodeFailed = 6,
    JsonDecodeFailed = 7,
    AllocationFailed = 8,
    Would_Block = 9,
};

// "None", "ConnectionClosed", ..., "Would_Block".
const char* protocol_error_name(ProtocolError error);

// Each frame's first bytes up to this many cost nothing from a FramePool.
inline constexpr size_t FRAME_GROWTH_FREE_BYTES = 64 * 1024;

// Memory held by unfinished frames, shared by the readers of many connections. A header only
// declares a size: the body buffer grows with the bytes that actually arrive, and growth past
// each frame's free allowance is drawn from the pool. When the pool is spent the frame waits.
struct FramePool {
    explicit FramePool(size_t limit_bytes) : limit(limit_bytes) {}
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;
    size_t limit = 0; // bytes
    size_t held = 0;  // bytes drawn by readers now
};

// The receive state of one socket: the part of a frame received so far.
class FrameReader {
public:
    FrameReader() = default;
    explicit FrameReader(FramePool* pool) : pool_(pool) {}
    FrameReader(FrameReader&& other) noexcept;
    FrameReader& operator=(FrameReader&& other) noexcept;
    ~FrameReader();

    // Some bytes of a frame (header or body) are held, waiting for the rest.
    bool frame_started() const { return header_have_ > 0; }
    // Bytes of the unfinished frame's body buffer (grows with what arrived, not what was declared).
    size_t buffer_bytes() const { return body_.size(); }

private:
    friend struct FrameReaderAccess;
    void release_pool();

    uint8_t header_[4] = {};
    size_t header_have_ = 0;    // 0..4 header bytes received
    uint32_t declared_ = 0;     // body length from the header; 0 until it is complete
    std::vector<char> body_;    // grows towards declared_ as bytes arrive
    size_t body_have_ = 0;      // body bytes received
    FramePool* pool_ = nullptr; // nullptr: growth is not counted
    size_t pooled_ = 0;         // bytes of body_ drawn from pool_
};

struct Received {
    ClientMessage message;      // valid only when error is None
    ProtocolError error = ProtocolError::None;
    size_t bytes_read = 0;      // taken from the socket by this call
};

// Reads whatever the socket holds, up to the end of one frame, and decodes a completed frame.
// The message's strings are allocated from `strings` and belong to the caller.
// Would_Block: no complete frame yet (partial bytes stay in `reader`).
// InvalidLength / MessageTooLarge: the header was rejected; the stream is misaligned from here on.
// At most `max_bytes` are read; a frame the budget cuts short reports Would_Block and goes on
// with the next call.
// `body_copy`, when given, receives the bytes of a decoded (or undecodable) body: a recording
// keeps exactly what arrived.
Received receive_message(int fd, FrameReader& reader, std::pmr::memory_resource* strings,
                         size_t max_bytes = SIZE_MAX, std::string* body_copy = nullptr);

// Decodes one whole message body, however it arrived; a body that is not a message is logged (as
// from `site`, the reader that received it) and JsonDecodeFailed, with `out` left empty.
ProtocolError decode_client_message(std::string_view body, ClientMessage& out, std::pmr::memory_resource* strings,
                                    const std::source_location& site = std::source_location::current());

// Encodes and writes one frame. A full send buffer is SendFailed.
ProtocolError send_message(int fd, const ServerMessage& message);

// Encodes one message as a whole frame (header and body) into `frame`. JsonEncodeFailed (logged)
// or MessageTooLarge when it cannot be sent.
ProtocolError encode_frame(const ServerMessage& message, std::string& frame);

// Writes the 4-byte length header into the first four bytes of a frame of `size` bytes, whose
// body follows them. MessageTooLarge (nothing written) when the body passes the frame limit.
ProtocolError finish_frame(char* frame, size_t size);

// Writes one whole frame (header and body). A full send buffer is SendFailed, even when part of
// the frame was written: the stream is then unusable.
ProtocolError send_frame(int fd, std::string_view frame);

} // namespace cog

// A reusable home for one decoded host message: its command list and the bytes of its texts keep
// their memory from one message to the next, so steady play decodes without allocating.
#pragma once

#include "shared/protocol/messages.h"

#include <cstddef>
#include <memory_resource>
#include <optional>
#include <string_view>
#include <vector>

namespace cog::client {

enum class DecodeResult { Ok, Undecodable, TooManyCommands };

class MessageSlot {
public:
    // `max_commands`: a message with more commands is refused as TooManyCommands.
    explicit MessageSlot(size_t max_commands);
    MessageSlot(const MessageSlot&) = delete;
    MessageSlot& operator=(const MessageSlot&) = delete;

    // Replaces the content with `body` decoded. On anything but Ok the content must not be used.
    DecodeResult decode(std::string_view body);
    const ServerMessage& message() const { return message_; }

private:
    size_t max_commands_;
    std::vector<char> text_bytes_; // the decoded texts never take more bytes than the body has
    std::optional<std::pmr::monotonic_buffer_resource> strings_;
    ServerMessage message_;
};

} // namespace cog::client

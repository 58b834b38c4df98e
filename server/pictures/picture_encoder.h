// Encodes the frame's pictures one viewer after another. Viewers mostly see the same commands,
// so each picture copies from the previous one's text what the two share, and a picture equal
// to the previous one is not encoded again at all. The hashes of its commands, which pictures
// sent as changes are matched by, are likewise worked out once per distinct picture.
#pragma once

#include "shared/protocol/framing.h"
#include "shared/protocol/json.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cog {

struct EncodedPicture {
    ProtocolError error = ProtocolError::None; // MessageTooLarge: over the frame limit, not sendable
    std::string_view frame;                    // header and body; valid until the next encode
    size_t body_bytes = 0;
    std::span<const uint32_t> command_starts; // offset in the body of each command, then the end
};

class PictureEncoder {
public:
    // Forgets the previous picture; called before the first viewer of every frame, since the
    // previous list lives in the frame arena.
    void begin_frame();
    EncodedPicture encode(DrawList&& commands);
    // A hash of each command's text in the last picture encoded, worked out at the first call
    // after an encode and kept for the next viewers of an equal picture.
    std::span<const uint64_t> command_hashes();

private:
    EncodedPicture last_picture() const;

    std::optional<DrawList> previous_list_; // keeps its frame-arena allocator
    PictureBuffer previous_frame_, current_frame_;
    std::vector<uint32_t> previous_starts_, current_starts_;
    ProtocolError previous_error_ = ProtocolError::None;
    std::vector<uint64_t> hashes_;
    bool hashes_ready_ = false;
};

} // namespace cog

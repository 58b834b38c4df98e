// Encodes the frame's pictures one viewer after another. Viewers mostly see the same commands,
// so each picture takes from the previous one the commands the two share, and a picture equal to
// the previous one is not encoded again at all. A command is written once into the frame's text,
// its hash worked out once, and a whole picture is put together only for a viewer sent it whole.
#pragma once

#include "server/pictures/picture_snapshot.h"
#include "shared/protocol/framing.h"
#include "shared/protocol/json.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace cog {

struct EncodedPicture {
    ProtocolError error = ProtocolError::None; // MessageTooLarge: over the frame limit, not sendable
    size_t body_bytes = 0;
    std::shared_ptr<PictureSnapshot> snapshot; // what the picture was written as
};

// A picture put together as it goes on the wire.
struct WholeFrame {
    std::string_view frame;                   // header and body
    std::span<const uint32_t> command_starts; // offset in the body of each command, then the end
};

class PictureEncoder {
public:
    PictureEncoder();
    // Forgets the previous picture; called before the first viewer of every frame, since the
    // previous list lives in the frame arena.
    void begin_frame();
    EncodedPicture encode(DrawList&& commands);
    // The last picture encoded, with the hashes of its commands worked out.
    PictureSnapshot& hashed_picture();
    // The last picture encoded, whole; put together when first asked for, valid until the next
    // call of `encode`. Not for a picture over the frame limit.
    WholeFrame whole_frame();

private:
    EncodedPicture last_picture() const;
    // Writes `picture` whole into `whole_`: header, head, its commands joined by commas, tail.
    void put_together(const PictureSnapshot& picture);

    std::string head_; // a DRAW_COMMANDS body up to its first command
    SharedPool<PictureSnapshot> pictures_;
    SharedPool<FrameText> texts_;
    std::shared_ptr<FrameText> text_;              // this frame's; taken by its first picture
    std::optional<DrawList> previous_list_;        // keeps its frame-arena allocator
    std::shared_ptr<PictureSnapshot> last_;        // the last picture encoded
    std::shared_ptr<PictureSnapshot> before_last_; // the one before it in this frame, if any
    PictureBuffer whole_;                          // the last whole frame put together
    std::vector<uint32_t> whole_starts_;
    const PictureSnapshot* whole_of_ = nullptr; // the picture `whole_` holds, if still `last_`
};

} // namespace cog

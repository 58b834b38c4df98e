// Encodes the frame's pictures one viewer after another. Viewers mostly see the same commands,
// so each picture copies from the previous one's text what the two share, and a picture equal
// to the previous one is not encoded again at all. The hashes of its commands, which pictures
// sent as changes are matched by, are likewise worked out once per distinct picture, and only
// for the commands whose text was not copied from the picture before it.
#pragma once

#include "server/pictures/picture_snapshot.h"
#include "shared/protocol/framing.h"
#include "shared/protocol/json.h"

#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace cog {

struct EncodedPicture {
    ProtocolError error = ProtocolError::None; // MessageTooLarge: over the frame limit, not sendable
    std::string_view frame;                    // header and body; valid while `snapshot` is held
    size_t body_bytes = 0;
    std::span<const uint32_t> command_starts; // offset in the body of each command, then the end
    std::shared_ptr<PictureSnapshot> snapshot; // what the picture was written into
};

class PictureEncoder {
public:
    // Forgets the previous picture; called before the first viewer of every frame, since the
    // previous list lives in the frame arena.
    void begin_frame();
    EncodedPicture encode(DrawList&& commands);
    // The last picture encoded, with the hashes of its commands worked out.
    PictureSnapshot& hashed_picture();

private:
    EncodedPicture last_picture() const;

    SnapshotPool pool_;
    std::optional<DrawList> previous_list_;        // keeps its frame-arena allocator
    std::shared_ptr<PictureSnapshot> last_;        // the last picture encoded
    std::shared_ptr<PictureSnapshot> before_last_; // the one before it in this frame, if any
};

} // namespace cog

// Pictures as changes for the WebSocket clients that asked for them: per connection, the picture
// it was sent last, and the change from that to its new picture when the change is the smaller.
#pragma once

#include "server/network/connections.h"
#include "server/pictures/picture_encoder.h"
#include "server/pictures/picture_snapshot.h"
#include "shared/protocol/picture_change_writer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>

namespace cog {

class PictureChanges {
public:
    // The frame to send `id` for the picture the encoder wrote last: a change against what this
    // connection was sent before, or the whole picture after a (re)connection, a screen change,
    // a request, or when the change would not be smaller. Remembers the picture as sent. The
    // frame stays valid until the next call, and the encoder's next picture.
    std::string_view frame_for(uint32_t id, const std::shared_ptr<web::WebChannel>& channel, uint64_t screen,
                               const EncodedPicture& picture, PictureEncoder& encoder);
    // The client lost track: its next picture goes whole.
    void forget(uint32_t id);
    // After the frame's last picture: lets go of the viewers that are no longer connected, and
    // of the frame's edits.
    void end_frame(const std::map<uint32_t, ClientSocket>& sockets);
    // Changes worked out so far, over all calls; the rest were one worked out for another viewer.
    size_t changes_written() const { return changes_written_; }
    // Connections whose last picture is kept: never more than are connected after end_frame.
    size_t viewer_count() const { return viewers_.size(); }
    // The last frame_for gave a change, not the whole picture.
    bool last_was_change() const { return last_was_change_; }

private:
    struct Viewer {
        std::weak_ptr<web::WebChannel> channel; // the connection the picture went to
        uint64_t screen = 0;                    // the screen instance that drew it
        std::shared_ptr<PictureSnapshot> sent;  // what it was sent last; none: the next goes whole
    };

    // The change in `change_`, if any, may serve this viewer too.
    bool reusable_for(const PictureSnapshot& before, const PictureSnapshot& now) const;

    std::map<uint32_t, Viewer> viewers_;
    PictureBuffer change_;  // the change being sent, header first; kept from frame to frame
    ChangeScratch scratch_; // the change writer's working lists
    // The two pictures `change_` was worked out between, this frame; held so that neither goes
    // back to the pool while the next viewers may still be sent it.
    std::shared_ptr<PictureSnapshot> made_from_, made_for_;
    size_t changes_written_ = 0;
    bool last_was_change_ = false;
};

} // namespace cog

// One distinct picture of a frame as it was written, shared by every viewer it went to and kept
// until the last of them has been sent a newer one: the base that viewer's next change is made
// against. Snapshots come from a pool, so steady play allocates nothing.
#pragma once

#include "shared/protocol/framing.h"
#include "shared/protocol/json.h"
#include "shared/protocol/picture_change_writer.h"
#include "shared/protocol/picture_index.h"

#include <memory>
#include <string_view>
#include <vector>

namespace cog {

struct PictureSnapshot {
    PictureBuffer frame;                       // header, then the DRAW_COMMANDS body
    std::vector<uint32_t> starts;              // offset in the body of each command, then the end
    std::vector<uint8_t> copied;               // 1: the command's text is the previous picture's there
    ProtocolError error = ProtocolError::None; // MessageTooLarge: over the frame limit
    std::vector<uint64_t> hashes;              // of each command's text, once `hashed`
    bool hashed = false;
    PictureIndex index; // finds a command by its hash; built when the picture is first a base

    std::string_view body() const { return std::string_view(frame.data() + 4, frame.size() - 4); }
    // Only once hashed.
    WholePicture whole() const { return {body(), starts, hashes}; }
    const PictureIndex& indexed() {
        if (!index.built()) index.build(hashes);
        return index;
    }
};

class SnapshotPool {
public:
    // A snapshot no one holds any more, emptied, or a new one.
    std::shared_ptr<PictureSnapshot> take();
    // Lets go of free snapshots beyond as many as are held, and a few: in steady play each viewer
    // taking changes frees one snapshot and takes another every frame, so that many stay; once
    // the players have gone, their pictures' memory goes too.
    void trim();

private:
    std::vector<std::shared_ptr<PictureSnapshot>> all_;
    size_t next_ = 0; // where the search for a free one starts: just after the last one taken
};

} // namespace cog

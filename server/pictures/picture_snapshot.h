// One distinct picture of a frame as it was written, shared by every viewer it went to and kept
// until the last of them has been sent a newer one: the base that viewer's next change is made
// against. A picture holds no text of its own, only where its commands lie in its frame's text,
// where each command differing between viewers is written once: the pictures kept for nine
// viewers then take about the memory of one, and the frame writes little that is not already in
// the cache. Pictures and texts come from pools, so steady play allocates nothing.
#pragma once

#include "shared/protocol/framing.h"
#include "shared/protocol/json.h"
#include "shared/protocol/picture_change_writer.h"
#include "shared/protocol/picture_index.h"

#include <memory>
#include <string_view>
#include <vector>

namespace cog {

// The commands of one frame's pictures, each followed by a comma: commands written one after
// another for a picture lie as they would in its body.
struct FrameText {
    PictureBuffer text;

    void clear() { text.clear(); }
};

struct PictureSnapshot {
    std::shared_ptr<const FrameText> text;     // the frame's text its commands lie in
    std::vector<CommandSpan> commands;         // where each command's text is
    std::vector<uint8_t> copied;               // 1: the command is the previous picture's there
    size_t body_bytes = 0;                     // the whole DRAW_COMMANDS body's length
    ProtocolError error = ProtocolError::None; // MessageTooLarge: over the frame limit
    std::vector<uint64_t> hashes;              // of each command's text, once `hashed`
    bool hashed = false;
    PictureIndex index; // finds a command by its hash; built when the picture is first a base

    std::string_view command(size_t m) const { return whole().command(m); }
    // Only once hashed.
    WholePicture whole() const { return {text->text.data(), commands, hashes, body_bytes}; }
    const PictureIndex& indexed() {
        if (!index.built()) index.build(hashes);
        return index;
    }
    void clear();
};

// Objects no one holds any more are handed out again, emptied by their `clear()`.
template <typename T>
class SharedPool {
public:
    // One only the pool holds, emptied, or a new one.
    std::shared_ptr<T> take() {
        for (size_t n = 0; n < all_.size(); ++n) {
            const size_t i = (next_ + n) % all_.size();
            if (all_[i].use_count() != 1) continue;
            next_ = i + 1;
            all_[i]->clear();
            return all_[i];
        }
        all_.push_back(std::make_shared<T>());
        next_ = 0;
        return all_.back();
    }
    // Lets go of free ones beyond as many as are held, and a few: in steady play each viewer
    // taking changes frees one picture (and now and then a frame's text) and takes another
    // every frame, so that many stay; once the players have gone, their memory goes too.
    void trim() {
        constexpr size_t EXTRA_SPARE = 8;
        size_t held = 0;
        for (const auto& s : all_) held += s.use_count() > 1;
        size_t spare = 0;
        std::erase_if(all_, [&](const auto& s) { return s.use_count() == 1 && ++spare > held + EXTRA_SPARE; });
        next_ = 0;
    }

private:
    std::vector<std::shared_ptr<T>> all_;
    size_t next_ = 0; // where the search for a free one starts: just after the last one taken
};

} // namespace cog

// Writes a picture as a PICTURE_CHANGE against the picture a viewer was sent before: commands
// found again (by the hash of their text) become kept runs; a command that differs from the one
// at its place before in only a few members is kept and edited (a sprite that moved); the rest
// are copied from the whole picture's text, leaving out the members at their zero value.
// Nothing is formatted again, and no command is compared twice.
#pragma once

#include "shared/protocol/edit_cache.h"
#include "shared/protocol/json.h"
#include "shared/protocol/picture_index.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cog {

// A picture as written for a viewer: a DRAW_COMMANDS body, the offset of each command in it
// (then the end of the last), and the hash of each command's text.
struct WholePicture {
    std::string_view body;
    std::span<const uint32_t> command_starts;
    std::span<const uint64_t> command_hashes;

    size_t size() const { return command_starts.empty() ? 0 : command_starts.size() - 1; }
    // Command m's own text, without the comma that follows it.
    std::string_view command(size_t m) const {
        const size_t end = m + 1 < size() ? command_starts[m + 1] - 1 : command_starts[size()];
        return body.substr(command_starts[m], end - command_starts[m]);
    }
};

// The change writer's working lists, kept by the caller so that a steady picture allocates
// nothing, and the edits of the frame so far, shared by all its viewers' changes.
struct ChangeScratch {
    std::vector<uint32_t> runs;  // (at, from, count): commands of the new picture kept from the previous
    std::vector<uint32_t> edits; // (at, from, edit): kept commands of which some members change
    EditCache cache;             // emptied at the end of each frame
    std::vector<std::string_view> changed; // the members of the edit being worked out (`"y":150.5`)
    std::string edit_text;                 // and its text
};

// Appends the change that turns `previous` (found through `index`, built over its hashes) into
// `picture` to `out`. False when it would not be smaller than the whole body; `out` then holds
// the attempt, which the caller drops.
bool write_picture_change(PictureBuffer& out, const WholePicture& previous, const PictureIndex& index,
                          const WholePicture& picture, ChangeScratch& scratch);

// Whether the change last written with `scratch`, from `made_from` to `made_for`, also turns
// `previous` into `picture`: what it keeps must be alike in those two where it keeps it, and
// what it carries or edits must be what it was worked out from. The viewers of a room see mostly
// the same picture, and what differs for each mostly stays put, so one change serves them all.
bool change_also_serves(const ChangeScratch& scratch, const WholePicture& made_from, const WholePicture& made_for,
                        const WholePicture& previous, const WholePicture& picture);

} // namespace cog

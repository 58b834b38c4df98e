// Writes a picture as a PICTURE_CHANGE against the picture a viewer was sent before: commands
// found again (by the hash of their text) become kept runs, the rest are copied from the whole
// picture's text, leaving out the members at their zero value. Nothing is formatted again, and
// no command is compared twice.
#pragma once

#include "shared/protocol/json.h"
#include "shared/protocol/picture_memory.h"

#include <span>
#include <string_view>
#include <vector>

namespace cog {

// The whole picture as written for a viewer: a DRAW_COMMANDS body, the offset of each command in
// it (then the end of the last), and the hash of each command's text.
struct WholePicture {
    std::string_view body;
    std::span<const uint32_t> command_starts;
    std::span<const uint64_t> command_hashes;
};

// Appends the change that turns `previous` into `picture` to `out`. False when it would not be
// smaller than the whole body; `out` then holds the attempt, which the caller drops. `runs` is
// the caller's kept scratch.
bool write_picture_change(PictureBuffer& out, const PictureMemory& previous, const WholePicture& picture,
                          std::vector<uint32_t>& runs);

} // namespace cog

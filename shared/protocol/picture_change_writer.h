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

// Where one command's text lies in the text a picture's commands are kept in.
struct CommandSpan {
    uint32_t begin = 0; // offset of its first byte
    uint32_t size = 0;  // bytes, without a comma
};

// A picture as written for a viewer: each command's text, its hash, and the length of the whole
// DRAW_COMMANDS body they make (the commands joined by commas, in the message's head and tail).
struct WholePicture {
    const char* text = nullptr;           // what `commands` are offsets into
    std::span<const CommandSpan> commands;
    std::span<const uint64_t> command_hashes;
    size_t body_bytes = 0;

    size_t size() const { return commands.size(); }
    std::string_view command(size_t m) const { return std::string_view(text + commands[m].begin, commands[m].size); }
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

// Rebuilding a picture from the one before it and a PICTURE_CHANGE, with every index checked
// against the previous picture before it is used, so no change can reach outside it.
#pragma once

#include "shared/protocol/messages.h"

#include <cstddef>
#include <span>

namespace cog {

// The WebSocket subprotocol a client names to receive pictures as changes.
inline constexpr const char* PICTURE_CHANGES_SUBPROTOCOL = "cogwell.delta";

enum class ChangeError : uint8_t {
    None,
    BaseMismatch,   // made for a previous picture of another length (or for none)
    BadRun,         // a run out of order, overlapping, empty, or reaching past the previous picture
    MissingCommands, // the places between runs need more commands than the change carries
    TooManyCommands, // the picture would pass the reader's limit
    BadEdit,         // an edit's place out of order or past the new picture, or places and edits unpaired
};

const char* change_error_name(ChangeError error);

// Builds the new picture into `out` (cleared first). Nothing is read outside `previous` and
// `change`; on any error `out` holds a partial picture that must not be shown. The commands of
// `out` refer to the texts of both inputs.
ChangeError apply_picture_change(std::span<const DrawCommand> previous, const PictureChange& change, DrawList& out,
                                 size_t max_commands);

} // namespace cog

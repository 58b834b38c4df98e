// Applying a picture change: runs and new commands merged in the new picture's order.
#include "shared/protocol/picture_change.h"

#include "shared/protocol/json_fields.h"

namespace cog {

const char* change_error_name(ChangeError error) {
    switch (error) {
    case ChangeError::None: return "None";
    case ChangeError::BaseMismatch: return "BaseMismatch";
    case ChangeError::BadRun: return "BadRun";
    case ChangeError::MissingCommands: return "MissingCommands";
    case ChangeError::TooManyCommands: return "TooManyCommands";
    case ChangeError::BadEdit: return "BadEdit";
    }
    return "?";
}

namespace {

// The members an edit gave, over the command at its place.
void apply_edit(DrawCommand& command, const DrawEdit& edit) {
    using json_fields::Fields;
    [&]<size_t... I>(std::index_sequence<I...>) {
        ((edit.present & (uint32_t{1} << I) ? (void)(command.*(std::get<I>(Fields<DrawCommand>::list).member) =
                                                         edit.values.*(std::get<I>(Fields<DrawCommand>::list).member))
                                            : (void)0),
         ...);
    }(std::make_index_sequence<json_fields::field_count<DrawCommand>>{});
}

// Places strictly increasing and inside the picture: each command is edited at most once, and
// nothing outside the picture is touched.
ChangeError apply_edits(DrawList& picture, const PictureChange& change) {
    if (change.edit_at.size() != change.edits.size()) return ChangeError::BadEdit;
    for (size_t i = 0; i < change.edit_at.size(); ++i) {
        const size_t at = change.edit_at[i];
        if (at >= picture.size() || (i > 0 && at <= change.edit_at[i - 1])) return ChangeError::BadEdit;
        apply_edit(picture[at], change.edits[i]);
    }
    return ChangeError::None;
}

} // namespace

ChangeError apply_picture_change(std::span<const DrawCommand> previous, const PictureChange& change, DrawList& out,
                                 size_t max_commands) {
    out.clear();
    if (change.base != previous.size()) return ChangeError::BaseMismatch;
    if (change.keep.size() % 3 != 0) return ChangeError::BadRun;
    const size_t fresh = change.commands.size();
    if (fresh > max_commands) return ChangeError::TooManyCommands;
    size_t next_fresh = 0; // the next new command to place
    for (size_t r = 0; r < change.keep.size(); r += 3) {
        const size_t at = change.keep[r], from = change.keep[r + 1], count = change.keep[r + 2];
        // Everything is checked in 64 bits against sizes already known, before any copy.
        if (at < out.size() || count == 0 || from >= previous.size() || count > previous.size() - from)
            return ChangeError::BadRun;
        const size_t gap = at - out.size();
        if (gap > fresh - next_fresh) return ChangeError::MissingCommands;
        if (at + count > max_commands) return ChangeError::TooManyCommands;
        out.insert(out.end(), change.commands.begin() + static_cast<ptrdiff_t>(next_fresh),
                   change.commands.begin() + static_cast<ptrdiff_t>(next_fresh + gap));
        next_fresh += gap;
        out.insert(out.end(), previous.begin() + static_cast<ptrdiff_t>(from),
                   previous.begin() + static_cast<ptrdiff_t>(from + count));
    }
    if (out.size() + (fresh - next_fresh) > max_commands) return ChangeError::TooManyCommands;
    out.insert(out.end(), change.commands.begin() + static_cast<ptrdiff_t>(next_fresh), change.commands.end());
    return apply_edits(out, change);
}

} // namespace cog

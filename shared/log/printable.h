// Client-supplied text made safe for the operator's terminal and for log readers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cog {

// Client texts in the log are cut at this many bytes (at a character boundary).
inline constexpr size_t MAX_PRINTABLE_BYTES = 200;

// A copy that no terminal or log reader acts on: control characters (C0, DEL, C1), line and
// paragraph separators and bytes that are not UTF-8 are written as escapes ("\x1b", "\u009b",
// "\u2028", "\xff"), and a backslash as "\\", so an escape in the log always means the client sent
// something odd. A text past MAX_PRINTABLE_BYTES is cut and ends with "...(N bytes)", N its
// full length.
std::string printable(std::string_view text);

} // namespace cog

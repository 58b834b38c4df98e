// Client-supplied text made safe for the operator's terminal.
#pragma once

#include <string>
#include <string_view>

namespace cog {

// Control bytes (below 0x20, and 0x7F) become '?', so a name or command line cannot move the
// cursor, recolour or clear the host's console.
std::string printable(std::string_view text);

} // namespace cog

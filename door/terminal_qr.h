// A QR code drawn for a terminal with half-block characters, two modules a character cell.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cog::door {

// Lines of "▀", "▄", "█" and spaces: the light modules and the quiet zone are the blocks, so on a
// terminal of light text on dark the code reads dark on light, as cameras expect. Nothing when the
// text does not fit a QR code.
std::optional<std::string> terminal_qr(std::string_view text);

} // namespace cog::door

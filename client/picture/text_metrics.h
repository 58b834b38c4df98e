// How the host's font sizes become glyphs; the browser client receives the same numbers.
#pragma once

namespace cog::client {

// DejaVu's line box is about 1.16 em; a point size of 0.86 of the host's font size gives a line
// box of the font size, so the host's width estimates and line spacing fit.
inline constexpr float POINTS_PER_FONT_UNIT = 0.86f;
// Em: about the advance of a wide capital. Words are sometimes laid out one letter per command
// at a fixed step; centring each lone glyph in a cell this wide keeps an "I" from leaving a gap.
inline constexpr float SINGLE_GLYPH_CELL = 0.7f;

} // namespace cog::client

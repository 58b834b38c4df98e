// What one picture may ask of the renderer: geometry clamped to a sane range, degenerate commands
// skipped, and the area a picture may cover bounded, whatever the host sent.
#pragma once

#include "client/viewport.h"
#include "shared/protocol/messages.h"

#include <cstddef>
#include <span>

namespace cog::client {

inline constexpr size_t MAX_PICTURE_COMMANDS = 16384; // a picture with more is not shown
inline constexpr float COORD_LIMIT = 16384;           // world units either side of the origin
inline constexpr float MAX_SPRITE_SCALE = 32;         // of a sprite's frame
inline constexpr int MAX_FONT_SIZE = 400;             // world units
inline constexpr float MAX_COVERED_WORLDS = 32;       // visible area a picture may fill, in worlds

// A position clamped to +-COORD_LIMIT (0 when not a number).
float clamp_coord(float value);
// A size clamped to 0..2 * COORD_LIMIT; 0 means the command draws nothing.
float clamp_extent(float value);
// A sprite scale factor clamped to +-MAX_SPRITE_SCALE, its sign kept (0 when not a number).
float clamp_scale(float value);
// A rotation reduced to one turn, so that far-out angles keep their precision.
float reduce_rotation(float degrees);

// How many leading commands fit the covered-area budget: each command counts the part of its
// bounding box that lies inside the world. Commands past that point are not drawn.
size_t commands_within_budget(std::span<const DrawCommand> commands, WorldSize world);

} // namespace cog::client

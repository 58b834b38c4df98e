// What one picture may ask of the renderer: geometry clamped to a sane range, degenerate commands
// skipped, and the area a picture may cover bounded, whatever the host sent.
#pragma once

#include "client/picture/viewport.h"
#include "shared/protocol/messages.h"

#include <cstddef>
#include <span>

namespace cog::client {

inline constexpr size_t MAX_PICTURE_COMMANDS = 16384; // a picture with more is not shown
inline constexpr float COORD_LIMIT = 16384;           // world units either side of the origin
inline constexpr float MAX_SPRITE_SCALE = 32;         // of a sprite's frame
inline constexpr int MAX_FONT_SIZE = 400;             // world units
inline constexpr float MAX_COVERED_WORLDS = 32;       // area a picture may cost, in worlds
inline constexpr float MAX_IMAGE_WORLDS = 12;         // area one scaled and turned image may span, in worlds

// A position clamped to +-COORD_LIMIT (0 when not a number).
float clamp_coord(float value);
// A size clamped to 0..2 * COORD_LIMIT; 0 means the command draws nothing.
float clamp_extent(float value);
// A sprite scale factor clamped to +-MAX_SPRITE_SCALE, its sign kept (0 when not a number).
float clamp_scale(float value);
// A rotation reduced to one turn, so that far-out angles keep their precision.
float reduce_rotation(float degrees);

// The widest a text of that many bytes is drawn at that font size, in world units.
float text_width_limit(size_t bytes, int font_size);

// The area of the upright box around a width x height image turned by `rotation_deg`, in world
// units squared.
double turned_area(float width, float height, float rotation_deg);
// Whether an image (a sprite or a disc) spanning `area` once scaled and turned may be drawn at all.
// Renderers scale and turn an image whole before clipping it to the window (SDL's software one
// builds it in memory), so what an image costs is its whole size, however little of it shows.
bool image_fits(double area, WorldSize world);

// How many leading commands fit the area budget. Rectangles, texts and lines count the part of their
// bounding box inside the world; images count their whole turned size, or nothing when too large
// to be drawn. Commands past that point are not drawn.
size_t commands_within_budget(std::span<const DrawCommand> commands, WorldSize world);

} // namespace cog::client

// Where a passenger stands in the car: shared by the drawing and by the Overseer's hit test.
#pragma once

#include "server/screens/metro/metro_state.h"

#include <cmath>

namespace cog::metro {

inline constexpr float SLOT_LEFT_X = 240;   // px, x of slot 0
inline constexpr float SLOT_STEP_X = 120;   // px between slots
inline constexpr float BODY_Y = 550;        // px, the body's anchor
inline constexpr float MASK_Y = 465;        // px, the mask's anchor when upright
inline constexpr float MASK_SWING = 75;     // px the mask swings out by as the passenger tilts
inline constexpr float BODY_SCALE = 0.146484375f; // 150/1024
inline constexpr float MASK_SCALE = 0.1171875f;   // 120/1024

struct Point {
    float x = 0, y = 0; // px
};

inline float radians(float degrees) { return degrees * 3.14159265f / 180.0f; }

inline float slot_x(int64_t slot) { return SLOT_LEFT_X + SLOT_STEP_X * static_cast<float>(slot); }

// The mask's anchor, swung round with the passenger's tilt.
inline Point mask_position(const Passenger& p) {
    float a = radians(p.tilt);
    return {slot_x(p.slot_index) + MASK_SWING * std::sin(a), MASK_Y + MASK_SWING * (1 - std::cos(a))};
}

} // namespace cog::metro

// Sounds made at start-up (the game ships no audio files): a short looping tune per music id and
// a noise burst for the gunshot. Mono float samples in -1..1.
#pragma once

#include <cstdint>
#include <vector>

namespace cog::client {

inline constexpr int SAMPLE_RATE = 44100; // samples per second

bool is_music(uint16_t sound_id);
// Empty for NONE and for unknown ids.
std::vector<float> synthesize(uint16_t sound_id);

} // namespace cog::client

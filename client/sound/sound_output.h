// Where PLAY_SOUND and STOP_MUSIC go: the speakers in the game, a recorder in tests.
#pragma once

#include <cstdint>

namespace cog::client {

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual void play(uint16_t sound_id, float volume) = 0; // volume 0..1
    virtual void stop_music() = 0;
};

} // namespace cog::client

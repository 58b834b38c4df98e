// The speakers: one looping music voice and a few sound effects, mixed in SDL's audio callback.
// Without an audio device every call is accepted and nothing is heard.
#pragma once

#include "client/sound/sound_output.h"

#include <SDL.h>

#include <array>
#include <vector>

namespace cog::client {

struct Voice {
    const std::vector<float>* samples = nullptr; // nullptr: silent
    size_t position = 0;                         // next sample
    float volume = 0;                            // 0..1
    bool loops = false;
};

class AudioPlayer final : public SoundOutput {
public:
    AudioPlayer();  // synthesizes the sounds and opens the default device if there is one
    ~AudioPlayer() override;
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    void play(uint16_t sound_id, float volume) override;
    void stop_music() override;
    bool has_device() const { return device_ != 0; }

private:
    static void fill(void* self, Uint8* stream, int bytes);
    void mix(float* out, size_t count);

    static constexpr size_t SOUND_COUNT = 6;  // SoundId values 0..5
    static constexpr size_t EFFECT_VOICES = 4;
    std::array<std::vector<float>, SOUND_COUNT> sounds_;
    Voice music_;
    std::array<Voice, EFFECT_VOICES> effects_;
    SDL_AudioDeviceID device_ = 0;
};

} // namespace cog::client

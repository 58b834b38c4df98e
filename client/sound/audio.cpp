// Audio device set-up and the mixing of the voices.
#include "client/sound/audio.h"

#include "client/sound/synth.h"

#include <algorithm>
#include <cstring>

namespace cog::client {

AudioPlayer::AudioPlayer() {
    for (size_t id = 0; id < SOUND_COUNT; ++id) sounds_[id] = synthesize(static_cast<uint16_t>(id));
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    SDL_AudioSpec want{};
    want.freq = SAMPLE_RATE;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = 1024;
    want.callback = &AudioPlayer::fill;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device_ != 0) SDL_PauseAudioDevice(device_, 0);
}

AudioPlayer::~AudioPlayer() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
}

void AudioPlayer::play(uint16_t sound_id, float volume) {
    if (sound_id >= SOUND_COUNT || sounds_[sound_id].empty()) return;
    const Voice voice{&sounds_[sound_id], 0, std::clamp(volume, 0.0f, 1.0f), is_music(sound_id)};
    if (device_ != 0) SDL_LockAudioDevice(device_);
    if (voice.loops) {
        music_ = voice;
    } else {
        // A free effect voice, or the one nearest its end.
        auto slot = std::max_element(effects_.begin(), effects_.end(), [](const Voice& a, const Voice& b) {
            const auto progress = [](const Voice& v) { return v.samples ? double(v.position) / double(v.samples->size()) : 2.0; };
            return progress(a) < progress(b);
        });
        *slot = voice;
    }
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

void AudioPlayer::stop_music() {
    if (device_ != 0) SDL_LockAudioDevice(device_);
    music_ = Voice{};
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

void AudioPlayer::fill(void* self, Uint8* stream, int bytes) {
    static_cast<AudioPlayer*>(self)->mix(reinterpret_cast<float*>(stream), static_cast<size_t>(bytes) / sizeof(float));
}

namespace {

void add_voice(Voice& voice, float* out, size_t count) {
    for (size_t i = 0; i < count && voice.samples; ++i) {
        if (voice.position >= voice.samples->size()) {
            if (!voice.loops) {
                voice = Voice{};
                break;
            }
            voice.position = 0;
        }
        out[i] += (*voice.samples)[voice.position++] * voice.volume;
    }
}

} // namespace

void AudioPlayer::mix(float* out, size_t count) {
    std::fill(out, out + count, 0.0f);
    add_voice(music_, out, count);
    for (Voice& effect : effects_) add_voice(effect, out, count);
    for (size_t i = 0; i < count; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

} // namespace cog::client

// Square-wave melodies over a triangle bass, and filtered noise for the shot.
#include "client/sound/synth.h"

#include "shared/assets/assets.h"

#include <cmath>
#include <cstdint>
#include <span>

namespace cog::client {

namespace {

struct Note {
    int midi;    // note number; negative is a rest
    float beats; // length
};

struct Tune {
    float tempo_bpm;
    std::span<const Note> melody;
    std::span<const Note> bass; // as long in beats as the melody, so the loop stays in step
};

constexpr Note TYPING_MELODY[] = {{72, .5}, {74, .5}, {76, .5}, {72, .5}, {79, 1}, {76, 1},
                                  {77, .5}, {76, .5}, {74, .5}, {72, .5}, {74, 1}, {-1, 1},
                                  {72, .5}, {74, .5}, {76, .5}, {79, .5}, {81, 1}, {79, 1},
                                  {77, .5}, {74, .5}, {76, .5}, {74, .5}, {72, 2}};
constexpr Note TYPING_BASS[] = {{48, 2}, {53, 2}, {55, 2}, {48, 2}, {48, 2}, {53, 2}, {55, 2}, {48, 2}};

constexpr Note METRO_MELODY[] = {{69, .5}, {69, .5}, {72, .5}, {69, .5}, {76, 1}, {74, 1},
                                 {72, .5}, {71, .5}, {69, .5}, {71, .5}, {72, 2},
                                 {69, .5}, {69, .5}, {72, .5}, {69, .5}, {77, 1}, {76, 1},
                                 {74, .5}, {72, .5}, {71, .5}, {68, .5}, {69, 2}};
constexpr Note METRO_BASS[] = {{45, .5}, {45, .5}, {57, .5}, {45, .5}, {43, .5}, {43, .5}, {55, .5}, {43, .5},
                               {41, .5}, {41, .5}, {53, .5}, {41, .5}, {40, .5}, {40, .5}, {52, .5}, {40, .5},
                               {45, .5}, {45, .5}, {57, .5}, {45, .5}, {43, .5}, {43, .5}, {55, .5}, {43, .5},
                               {41, .5}, {41, .5}, {53, .5}, {41, .5}, {40, .5}, {40, .5}, {52, .5}, {40, .5}};

constexpr Note OVERSEER_MELODY[] = {{64, 1}, {63, 1}, {60, 2}, {59, 1}, {60, 1}, {56, 2},
                                    {57, 1}, {56, 1}, {52, 2}, {51, 2}, {52, 2}};
constexpr Note OVERSEER_BASS[] = {{40, 4}, {36, 4}, {41, 4}, {35, 2}, {40, 2}};

constexpr Note HUMAN_MELODY[] = {{67, .5}, {67, .5}, {67, .5}, {72, 1.5}, {-1, .5}, {72, .5}, {76, .5}, {79, 1.5},
                                 {-1, .5}, {76, .5}, {79, .5}, {84, 3}, {-1, 1}};
constexpr Note HUMAN_BASS[] = {{48, 2}, {48, 2}, {53, 2}, {55, 2}, {48, 3.5f}};

float frequency(int midi) { return 440.0f * std::pow(2.0f, static_cast<float>(midi - 69) / 12.0f); }

// Adds one voice; each note has a short attack and release so that notes do not click.
void add_voice(std::vector<float>& out, std::span<const Note> notes, float tempo_bpm, float amplitude, bool square) {
    const double seconds_per_beat = 60.0 / tempo_bpm;
    size_t at = 0;
    for (const Note& note : notes) {
        const auto length = static_cast<size_t>(note.beats * seconds_per_beat * SAMPLE_RATE);
        if (note.midi >= 0) {
            const double step = frequency(note.midi) / SAMPLE_RATE;
            const size_t fade = std::min<size_t>(length / 4, SAMPLE_RATE / 100);
            for (size_t i = 0; i < length && at + i < out.size(); ++i) {
                const double phase = std::fmod(step * static_cast<double>(i), 1.0);
                const double wave = square ? (phase < 0.5 ? 1.0 : -1.0) : 4 * std::fabs(phase - 0.5) - 1;
                double envelope = 1;
                if (i < fade) envelope = static_cast<double>(i) / static_cast<double>(fade);
                if (length - i < 4 * fade) envelope *= static_cast<double>(length - i) / static_cast<double>(4 * fade);
                out[at + i] += static_cast<float>(wave * envelope * amplitude);
            }
        }
        at += length;
    }
}

float beats_of(std::span<const Note> notes) {
    float beats = 0;
    for (const Note& n : notes) beats += n.beats;
    return beats;
}

std::vector<float> render_tune(const Tune& tune) {
    const auto length = static_cast<size_t>(beats_of(tune.melody) * 60.0 / tune.tempo_bpm * SAMPLE_RATE);
    std::vector<float> out(length, 0.0f);
    add_voice(out, tune.melody, tune.tempo_bpm, 0.18f, true);
    add_voice(out, tune.bass, tune.tempo_bpm, 0.30f, false);
    return out;
}

std::vector<float> gunshot() {
    std::vector<float> out(SAMPLE_RATE * 6 / 10);
    uint32_t noise = 0x12345678;
    float smoothed = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / SAMPLE_RATE;
        noise = noise * 1664525u + 1013904223u; // a fixed noise: the same shot every time
        const float white = static_cast<float>(noise >> 8) / 8388608.0f - 1.0f;
        smoothed += 0.35f * (white - smoothed); // soften the hiss into a bang
        const double crack = smoothed * std::exp(-t / 0.07);
        const double thump = std::sin(2 * M_PI * 55 * t) * std::exp(-t / 0.12);
        out[i] = static_cast<float>(0.9 * crack + 0.7 * thump);
    }
    return out;
}

} // namespace

bool is_music(uint16_t sound_id) {
    return sound_id >= static_cast<uint16_t>(SoundId::MUSIC_TYPING) &&
           sound_id <= static_cast<uint16_t>(SoundId::MUSIC_HUMAN_WIN);
}

std::vector<float> synthesize(uint16_t sound_id) {
    switch (static_cast<SoundId>(sound_id)) {
    case SoundId::MUSIC_TYPING: return render_tune({150, TYPING_MELODY, TYPING_BASS});
    case SoundId::MUSIC_METRO: return render_tune({132, METRO_MELODY, METRO_BASS});
    case SoundId::MUSIC_OVERSEER_WIN: return render_tune({70, OVERSEER_MELODY, OVERSEER_BASS});
    case SoundId::MUSIC_HUMAN_WIN: return render_tune({120, HUMAN_MELODY, HUMAN_BASS});
    case SoundId::SFX_GUNSHOT: return gunshot();
    default: return {};
    }
}

} // namespace cog::client

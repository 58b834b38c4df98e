// The synthesized sounds: every music id has an audible loop, the gunshot is a short bang.
#include "client/sound/synth.h"
#include "shared/assets/assets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace cog::client {
namespace {

double rms(const std::vector<float>& samples, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

TEST(Synth, MusicLoopsAreAudibleAndUnclippedAndTheShotIsABang) {
    for (SoundId id : {SoundId::MUSIC_TYPING, SoundId::MUSIC_METRO, SoundId::MUSIC_OVERSEER_WIN, SoundId::MUSIC_HUMAN_WIN}) {
        const auto music = static_cast<uint16_t>(id);
        const std::vector<float> tune = synthesize(music);
        EXPECT_TRUE(is_music(music)) << music;
        EXPECT_GT(tune.size(), size_t{4 * SAMPLE_RATE}) << music; // long enough not to nag when looped
        EXPECT_GT(rms(tune, 0, tune.size()), 0.05) << music;
        float peak = 0;
        for (float sample : tune) peak = std::max(peak, std::fabs(sample));
        EXPECT_LE(peak, 1.0f) << music; // no sample clips, in either direction
    }
    const auto gun = static_cast<uint16_t>(SoundId::SFX_GUNSHOT);
    const std::vector<float> shot = synthesize(gun);
    EXPECT_FALSE(is_music(gun));
    ASSERT_GT(shot.size(), size_t{SAMPLE_RATE / 10});
    EXPECT_LT(shot.size(), size_t{SAMPLE_RATE});
    const size_t tenth = SAMPLE_RATE / 20;
    EXPECT_GT(rms(shot, 0, tenth), 0.2);
    EXPECT_LT(rms(shot, shot.size() - tenth, shot.size()), rms(shot, 0, tenth) / 20); // it dies away

    EXPECT_TRUE(synthesize(static_cast<uint16_t>(SoundId::NONE)).empty());
    EXPECT_TRUE(synthesize(99).empty());
}

} // namespace
} // namespace cog::client

// The clock of a replay: every reading the recorded game made, handed out again in order, and no
// waiting. A reading of the other kind than recorded means the replay has left the recorded path.
#pragma once

#include "replay/recording.h"
#include "shared/platform/clock.h"

#include <deque>

namespace cog::replay {

class ReplayClock final : public Clock {
public:
    // Takes readings from the front of `readings`, which the recording's reader refills.
    explicit ReplayClock(std::deque<ClockReading>& readings) : readings_(readings) {}
    int64_t wall_ns() override { return next(true); }
    int64_t monotonic_ns() override { return next(false); }
    void sleep_ms(int64_t) override {}
    // Readings asked for that the recording did not have, or had of the other kind.
    bool strayed() const { return strayed_; }

private:
    int64_t next(bool wall) {
        if (readings_.empty() || readings_.front().wall != wall) {
            strayed_ = true;
            return last_[wall];
        }
        last_[wall] = readings_.front().value;
        readings_.pop_front();
        return last_[wall];
    }

    std::deque<ClockReading>& readings_;
    int64_t last_[2] = {0, 0};
    bool strayed_ = false;
};

} // namespace cog::replay

// Time sources: the wall clock (the mask offset, the die), a monotonic counter (frame timing, the
// profiler, every timeout) and sleeping. Injected so that tests control time.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace cog {

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t wall_ns() = 0;      // nanoseconds since 1970-01-01 UTC
    virtual int64_t monotonic_ns() = 0; // nanoseconds from an arbitrary start
    virtual void sleep_ms(int64_t milliseconds) = 0;
};

class SystemClock final : public Clock {
public:
    int64_t wall_ns() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    int64_t monotonic_ns() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void sleep_ms(int64_t milliseconds) override {
        if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

} // namespace cog

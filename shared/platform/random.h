// The process-wide random source: 64-bit draws, uniform numbers of 24-bit resolution, picks.
#pragma once

#include <cstdint>
#include <random>

namespace cog {

class Random {
public:
    virtual ~Random() = default;
    virtual uint64_t next_u64() = 0;

    // u in [0, 1): the low 24 bits of a 64-bit draw divided by 2^24.
    float uniform() { return static_cast<float>(next_u64() & 0xFFFFFFu) / 16777216.0f; }

    // An index among n: int(n * u).
    int pick(int n) { return static_cast<int>(static_cast<float>(n) * uniform()); }
};

// Mersenne twister seeded once, from the operating system unless a seed is given.
class SeededRandom final : public Random {
public:
    SeededRandom() : engine_(os_seed()) {}
    explicit SeededRandom(uint64_t seed) : engine_(seed) {}
    uint64_t next_u64() override { return engine_(); }

    static uint64_t os_seed() {
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) | device();
    }

private:
    std::mt19937_64 engine_;
};

} // namespace cog

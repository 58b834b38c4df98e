// Random bytes for what a stranger must not guess (room codes): the kernel's getrandom, injected.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cog::door {

class SecureRandom {
public:
    virtual ~SecureRandom() = default;
    // Fills `out` with `size` random bytes; false when the source failed.
    virtual bool fill(uint8_t* out, size_t size) = 0;
};

class SystemSecureRandom final : public SecureRandom {
public:
    bool fill(uint8_t* out, size_t size) override;
};

} // namespace cog::door

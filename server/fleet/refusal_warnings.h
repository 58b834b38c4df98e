// Warnings about calls the sidecar refused, at most one per kind of call in each interval, so a
// broken set-up is visible in the log without a line for every frame's refused call.
#pragma once

#include "server/fleet/sidecar_client.h"

#include <array>
#include <cstdint>

namespace cog {

class RefusalWarnings {
public:
    explicit RefusalWarnings(int64_t interval_ns) : interval_ns_(interval_ns) {}

    // Logs the refusal with its status and body unless this kind was warned of within the
    // interval; then it is only counted, and the count goes with the next warning of its kind.
    void note(const SidecarOutcome& refused, int64_t now_ns);

private:
    struct Kind {
        int64_t warned_ns = -1; // -1: never warned
        size_t unwarned = 0;    // refusals since the last warning
    };
    int64_t interval_ns_;
    std::array<Kind, SIDECAR_CALL_KINDS> kinds_{};
};

} // namespace cog

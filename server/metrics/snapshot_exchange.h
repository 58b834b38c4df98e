// Hands the frame's metrics to the metrics server's thread without either ever waiting: three
// slots, one the frame writes, one the server reads, and one between them traded by an atomic
// exchange (a triple buffer). The frame always finds a free slot; the server always finds the
// latest whole snapshot.
#pragma once

#include "server/metrics/room_metrics.h"

#include <atomic>
#include <cstdint>

namespace cog::metrics {

class SnapshotExchange {
public:
    // The frame's thread only: fill the slot it holds, then publish it.
    void publish(const RoomMetrics& metrics) {
        slots_[back_] = metrics;
        back_ = middle_.exchange(back_ | FRESH, std::memory_order_acq_rel) & SLOT;
    }

    // The server's thread only: the latest snapshot published (all zeros before the first).
    const RoomMetrics& latest() {
        if (middle_.load(std::memory_order_acquire) & FRESH)
            front_ = middle_.exchange(front_, std::memory_order_acq_rel) & SLOT;
        return slots_[front_];
    }

private:
    static constexpr uint8_t SLOT = 3, FRESH = 4;
    RoomMetrics slots_[3];
    std::atomic<uint8_t> middle_{1}; // the slot between them, with FRESH once published
    uint8_t back_ = 0;               // the frame's thread's
    uint8_t front_ = 2;              // the server thread's
};

} // namespace cog::metrics

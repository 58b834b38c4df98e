// Hands a loop's metrics to the metrics server's thread without either ever waiting: three
// slots, one the loop writes, one the server reads, and one between them traded by an atomic
// exchange (a triple buffer). The loop always finds a free slot; the server always finds the
// latest whole snapshot. `Snapshot` is a plain copyable struct (no allocation when copied).
#pragma once

#include <atomic>
#include <cstdint>

namespace cog::metrics {

template <typename Snapshot>
class SnapshotExchange {
public:
    // The loop's thread only: fill the slot it holds, then publish it.
    void publish(const Snapshot& metrics) {
        slots_[back_] = metrics;
        back_ = middle_.exchange(back_ | FRESH, std::memory_order_acq_rel) & SLOT;
    }

    // The server's thread only: the latest snapshot published (as value-initialized before the first).
    const Snapshot& latest() {
        if (middle_.load(std::memory_order_acquire) & FRESH)
            front_ = middle_.exchange(front_, std::memory_order_acq_rel) & SLOT;
        return slots_[front_];
    }

private:
    static constexpr uint8_t SLOT = 3, FRESH = 4;
    Snapshot slots_[3]{};
    std::atomic<uint8_t> middle_{1}; // the slot between them, with FRESH once published
    uint8_t back_ = 0;               // the loop's thread's
    uint8_t front_ = 2;              // the server thread's
};

} // namespace cog::metrics

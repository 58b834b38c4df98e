// Durations counted into fixed buckets, as plain integers a loop bumps and a snapshot copies.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace cog::metrics {

// One count per bucket (not cumulative), the last past every bound; bounds are in nanoseconds.
template <size_t N>
struct Histogram {
    std::array<uint64_t, N + 1> bucket_counts{};
    uint64_t count = 0;
    int64_t sum_ns = 0;

    void observe(const std::array<int64_t, N>& bounds_ns, int64_t ns) {
        const auto bound = std::lower_bound(bounds_ns.begin(), bounds_ns.end(), ns);
        ++bucket_counts[static_cast<size_t>(bound - bounds_ns.begin())];
        ++count;
        sum_ns += ns;
    }
};

} // namespace cog::metrics

// Building metric families (prometheus-cpp's data model) from plain counts, and writing them in
// Prometheus' text exposition format (version 0.0.4) with prometheus-cpp's serializer: its
// escaping and number format, without its registry, whose locks a loop must never meet.
#pragma once

#include "shared/metrics/histogram.h"

#include <prometheus/metric_family.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cog::metrics {

inline constexpr const char* EXPOSITION_CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8";

using prometheus::MetricFamily;
using prometheus::MetricType;

MetricFamily family(const char* name, const char* help, MetricType type);
// A family of one sample without labels.
MetricFamily single(const char* name, const char* help, MetricType type, double value);
// Adds one sample to `f` with the given labels.
void add_sample(MetricFamily& f, double value, std::vector<prometheus::ClientMetric::Label> labels = {});

// One sample per label value, in the order of `names`.
template <size_t N>
MetricFamily labelled(const char* name, const char* help, MetricType type, const char* label,
                      const std::array<std::string_view, N>& names, const std::array<uint64_t, N>& values) {
    MetricFamily f = family(name, help, type);
    for (size_t i = 0; i < N; ++i) add_sample(f, static_cast<double>(values[i]), {{label, std::string(names[i])}});
    return f;
}

// A histogram in seconds from buckets bounded in nanoseconds.
MetricFamily histogram_family(const char* name, const char* help, const int64_t* bounds_ns,
                              const uint64_t* bucket_counts, size_t bounds, uint64_t count, int64_t sum_ns);

template <size_t N>
MetricFamily histogram(const char* name, const char* help, const std::array<int64_t, N>& bounds_ns,
                       const Histogram<N>& h) {
    return histogram_family(name, help, bounds_ns.data(), h.bucket_counts.data(), N, h.count, h.sum_ns);
}

std::string serialize(const std::vector<MetricFamily>& families);

} // namespace cog::metrics

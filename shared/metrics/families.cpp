// Filling prometheus-cpp's metric families and serializing them as text.
#include "shared/metrics/families.h"

#include <prometheus/client_metric.h>
#include <prometheus/text_serializer.h>

#include <limits>
#include <sstream>

namespace cog::metrics {

MetricFamily family(const char* name, const char* help, MetricType type) {
    MetricFamily f;
    f.name = name;
    f.help = help;
    f.type = type;
    return f;
}

void add_sample(MetricFamily& f, double value, std::vector<prometheus::ClientMetric::Label> labels) {
    prometheus::ClientMetric m;
    m.label = std::move(labels);
    if (f.type == MetricType::Counter) m.counter.value = value;
    else m.gauge.value = value;
    f.metric.push_back(std::move(m));
}

MetricFamily single(const char* name, const char* help, MetricType type, double value) {
    MetricFamily f = family(name, help, type);
    add_sample(f, value);
    return f;
}

MetricFamily histogram_family(const char* name, const char* help, const int64_t* bounds_ns,
                              const uint64_t* bucket_counts, size_t bounds, uint64_t count, int64_t sum_ns) {
    MetricFamily f = family(name, help, MetricType::Histogram);
    prometheus::ClientMetric m;
    uint64_t cumulative = 0;
    for (size_t i = 0; i < bounds; ++i) {
        cumulative += bucket_counts[i];
        m.histogram.bucket.push_back({cumulative, static_cast<double>(bounds_ns[i]) / 1e9});
    }
    cumulative += bucket_counts[bounds];
    m.histogram.bucket.push_back({cumulative, std::numeric_limits<double>::infinity()});
    m.histogram.sample_count = count;
    m.histogram.sample_sum = static_cast<double>(sum_ns) / 1e9;
    f.metric.push_back(std::move(m));
    return f;
}

std::string serialize(const std::vector<MetricFamily>& families) {
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, families);
    return out.str();
}

} // namespace cog::metrics

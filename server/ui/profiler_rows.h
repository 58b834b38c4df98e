// The texts of the profiler panel's rows: one row per zone below the root, depth first.
#pragma once

#include <string>
#include <vector>

namespace cog {

struct Zone;

struct ProfilerRowText {
    std::string category; // "--" per level of depth, a space, the zone's name
    std::string share;    // the zone's time as a share of the measured frame, "%.1f%%"
    std::string hits;     // "%d"
    std::string avg_ms, max_ms, all_time_max_ms; // "%.2fms"
};

// Every zone below `root`, children in creation order; `root.total_ns` is the measured frame.
std::vector<ProfilerRowText> profiler_row_texts(const Zone& root);

} // namespace cog

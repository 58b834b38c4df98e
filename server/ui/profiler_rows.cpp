// Formatting the profiler's zones into the panel's row texts.
#include "server/ui/profiler_rows.h"

#include "server/profiler/profiler.h"

#include <cstdio>

namespace cog {

namespace {

double ns_to_ms(int64_t ns) { return static_cast<double>(ns) / 1e6; }

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void add_rows(const Zone& zone, int depth, double frame_ms, std::vector<ProfilerRowText>& rows) {
    for (const Zone* child = zone.first_child; child; child = child->next_sibling) {
        const double avg_ms = child->hits > 0 ? ns_to_ms(child->total_ns) / static_cast<double>(child->hits) : 0.0;
        const double share = frame_ms > 0 ? static_cast<double>(child->hits) * 100.0 * avg_ms / frame_ms : 0.0;
        ProfilerRowText row;
        for (int i = 0; i < depth; ++i) row.category += "--";
        row.category += ' ';
        row.category.append(child->name);
        row.share = format("%.1f%%", share);
        row.hits = std::to_string(child->hits);
        row.avg_ms = format("%.2fms", avg_ms);
        row.max_ms = format("%.2fms", ns_to_ms(child->max_ns));
        row.all_time_max_ms = format("%.2fms", ns_to_ms(child->all_time_max_ns));
        rows.push_back(std::move(row));
        add_rows(*child, depth + 1, frame_ms, rows);
    }
}

} // namespace

std::vector<ProfilerRowText> profiler_row_texts(const Zone& root) {
    std::vector<ProfilerRowText> rows;
    add_rows(root, 0, ns_to_ms(root.total_ns), rows);
    return rows;
}

} // namespace cog

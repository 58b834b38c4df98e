// Frame profiler implementation.
#include "server/profiler/profiler.h"

#include <new>

namespace cog {

Profiler::Profiler(Clock& clock) : clock_(clock), region_(new unsigned char[REGION_BYTES]) {
    root_ = carve();
    root_->name = "<root>";
    overflow_ = carve();
    overflow_->name = OVERFLOW_NAME;
    overflow_->hash = zone_hash(OVERFLOW_NAME);
    overflow_->parent = root_;
    current_ = root_;
}

void Profiler::count_overflow() {
    // Listed on first use only, so a healthy profile shows no such row.
    if (!overflow_listed_) {
        if (root_->last_child) root_->last_child->next_sibling = overflow_;
        else root_->first_child = overflow_;
        root_->last_child = overflow_;
        ++root_->child_count;
        overflow_listed_ = true;
    }
    ++overflow_->hits;
}

Zone* Profiler::carve() {
    constexpr size_t size = sizeof(Zone);
    constexpr size_t align = alignof(Zone);
    size_t offset = (used_ + align - 1) / align * align;
    if (offset + size > REGION_BYTES) return nullptr;
    used_ = offset + size;
    return new (region_.get() + offset) Zone{};
}

uint32_t Profiler::zone_hash(std::string_view name) {
    uint32_t h = name.empty() ? 0u : static_cast<unsigned char>(name[0]);
    for (char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

namespace {
void clear_frame_counters(Zone* zone) {
    for (Zone* child = zone->first_child; child; child = child->next_sibling) {
        child->hits = 0;
        child->total_ns = 0;
        child->max_ns = 0;
        clear_frame_counters(child);
    }
}
} // namespace

void Profiler::begin_frame() {
    root_->start_ns = clock_.monotonic_ns();
    root_->total_ns = 0;
    clear_frame_counters(root_);
}

void Profiler::push(std::string_view name) {
    if (untracked_depth_ > 0) {
        count_overflow();
        ++untracked_depth_;
        return;
    }
    const uint32_t h = zone_hash(name);
    Zone* zone = current_->first_child;
    while (zone && zone->hash != h) zone = zone->next_sibling;
    if (!zone) {
        zone = carve();
        if (!zone) {
            count_overflow();
            untracked_depth_ = 1;
            return;
        }
        zone->hash = h;
        zone->name = name;
        zone->parent = current_;
        if (current_->last_child) current_->last_child->next_sibling = zone;
        else current_->first_child = zone;
        current_->last_child = zone;
        ++current_->child_count;
    }
    zone->start_ns = clock_.monotonic_ns();
    current_ = zone;
}

void Profiler::pop() {
    if (untracked_depth_ > 0) {
        --untracked_depth_;
        return;
    }
    if (current_ == root_) return; // unpaired pop: keep the chain intact
    const int64_t elapsed = clock_.monotonic_ns() - current_->start_ns;
    ++current_->hits;
    current_->total_ns += elapsed;
    if (elapsed > current_->max_ns) current_->max_ns = elapsed;
    if (elapsed > current_->all_time_max_ns) current_->all_time_max_ns = elapsed;
    current_ = current_->parent;
}

void Profiler::end_frame() { root_->total_ns = clock_.monotonic_ns() - root_->start_ns; }

namespace {
void clear_all_time_max(Zone* zone) {
    for (Zone* child = zone->first_child; child; child = child->next_sibling) {
        child->all_time_max_ns = 0;
        clear_all_time_max(child);
    }
}
} // namespace

void Profiler::reset_all_time_max() { clear_all_time_max(root_); }

} // namespace cog

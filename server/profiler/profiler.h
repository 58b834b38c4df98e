// Hierarchical frame profiler: named zones opened and closed around the host's work, counted per frame.
#pragma once

#include "shared/platform/clock.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace cog {

struct Zone {
    Zone* parent = nullptr;
    Zone* next_sibling = nullptr;
    Zone* first_child = nullptr;
    Zone* last_child = nullptr;
    int64_t child_count = 0;
    uint32_t hash = 0;          // identity among its siblings
    std::string_view name;      // the caller's constant text, not copied
    int64_t hits = 0;           // closings this frame
    int64_t total_ns = 0;       // summed durations this frame (root: the measured frame)
    int64_t max_ns = 0;         // longest opening this frame
    int64_t all_time_max_ns = 0;
    int64_t start_ns = 0;       // current opening (root: frame start)
};

class Profiler {
public:
    static constexpr size_t REGION_BYTES = 1048576;
    static constexpr std::string_view OVERFLOW_NAME = "<overflow>";

    explicit Profiler(Clock& clock);

    void begin_frame();
    // Opens `name` (non-empty, a constant text) below the current zone.
    void push(std::string_view name);
    void pop();
    // Root total = now - frame start; the measured part of the frame.
    void end_frame();
    // Clears every zone's all-time maximum (the only value that outlives a frame).
    void reset_all_time_max();

    const Zone& root() const { return *root_; }
    const Zone& current() const { return *current_; }

    // FNV-style hash seeded with the first byte.
    static uint32_t zone_hash(std::string_view name);

private:
    Zone* carve();

    void count_overflow();

    Clock& clock_;
    std::unique_ptr<unsigned char[]> region_;
    size_t used_ = 0;
    Zone* root_ = nullptr;
    Zone* current_ = nullptr;
    // Reserved at start-up and listed under the root once the region is full: it counts every
    // opening that found no room for its zone.
    Zone* overflow_ = nullptr;
    bool overflow_listed_ = false;
    // Opens beyond the region's capacity are not recorded; counting them keeps push/pop paired.
    int64_t untracked_depth_ = 0;
};

// Opens a zone for the lifetime of the guard, so every exit path closes it.
class ProfileZone {
public:
    ProfileZone(Profiler* profiler, std::string_view name) : profiler_(profiler) {
        if (profiler_) profiler_->push(name);
    }
    ~ProfileZone() {
        if (profiler_) profiler_->pop();
    }
    ProfileZone(const ProfileZone&) = delete;
    ProfileZone& operator=(const ProfileZone&) = delete;

private:
    Profiler* profiler_;
};

} // namespace cog

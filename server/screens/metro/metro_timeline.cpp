// Drawing and reading the ride's push timeline.
#include "server/screens/metro/metro_timeline.h"

#include <algorithm>

namespace cog::metro {

namespace {
// Event lengths (s) at the start of the ride and how much they shrink by its end.
constexpr float SHORTEST_AT_START = 3.5f, SHORTEST_SHRINK = 1.5f;
constexpr float LONGEST_AT_START = 5.0f, LONGEST_SHRINK = 2.0f;
constexpr float RIGHT_BELOW = 0.33f; // u below: PRESS_RIGHT
constexpr float LEFT_BELOW = 0.66f;  // u below (and not right): PRESS_LEFT

MetroEventKind kind_for(float u) {
    if (u < RIGHT_BELOW) return MetroEventKind::PRESS_RIGHT;
    if (u < LEFT_BELOW) return MetroEventKind::PRESS_LEFT;
    return MetroEventKind::DO_NOTHING;
}
} // namespace

int64_t draw_timeline(std::array<MetroEvent, MAX_EVENTS>& timeline, Random& random) {
    float start = 0, remaining = RIDE_LENGTH;
    int64_t count = 0;
    while (remaining > 0 && count < MAX_EVENTS) {
        float progress = start / RIDE_LENGTH;
        float lo = SHORTEST_AT_START - SHORTEST_SHRINK * progress;
        float hi = LONGEST_AT_START - LONGEST_SHRINK * progress;
        float u_length = random.uniform();
        float u_kind = random.uniform();
        MetroEvent& event = timeline[static_cast<size_t>(count)];
        event.kind = kind_for(u_kind);
        event.duration = std::min(lo + (hi - lo) * u_length, remaining);
        start += event.duration;
        remaining -= event.duration;
        ++count;
    }
    return count;
}

std::optional<int64_t> event_index_at(std::span<const MetroEvent> events, float t) {
    float rest = t;
    for (size_t i = 0; i < events.size(); ++i) {
        if (rest <= events[i].duration) return static_cast<int64_t>(i);
        rest -= events[i].duration;
    }
    return std::nullopt;
}

std::span<const MetroEvent> used_timeline(const MetroState& state) {
    size_t count = static_cast<size_t>(std::clamp<int64_t>(state.event_count, 0, MAX_EVENTS));
    return std::span<const MetroEvent>(state.timeline.data(), count);
}

const MetroEvent* event_at(const MetroState& state, float t) {
    std::optional<int64_t> index = event_index_at(used_timeline(state), t);
    return index ? &state.timeline[static_cast<size_t>(*index)] : nullptr;
}

MetroEventKind kind_or_nothing(const MetroEvent* event) {
    return event ? event->kind : MetroEventKind::DO_NOTHING;
}

} // namespace cog::metro

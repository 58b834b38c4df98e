// Crawl timing and scrolling: a slow cubic start, a faster cubic after fifteen seconds.
#include "server/screens/crawl/crawl_state.h"

#include "server/profiler/profiler.h"
#include "server/screens/crawl/crawl_story.h"
#include "server/screens/screen/screen_kinds.h"
#include "shared/types/draw.h"

namespace cog {

namespace {

constexpr float LINE_PITCH = 50;   // world units between story lines
constexpr float START_Y = 820;     // where line 0 starts, just below the picture
constexpr float VISIBLE_TOP = -100;
constexpr float VISIBLE_BOTTOM = 820;

} // namespace

std::unique_ptr<ScreenProcs> create_crawl() { return std::make_unique<CrawlState>(); }

// Both curves give 600 units and 60 units/s at 15 s, so the hand-over is seamless.
// The slow curve keeps this exact operation order: f32 rounding depends on it, and every client
// must see the text at exactly the same height in every frame, whichever host build drew it.
float crawl_scroll(float t, bool fast) {
    if (!fast) return ((t * (0.5f * t) * t) / 675.0f + 0.5f * t) * 60.0f;
    const float u = t - CrawlState::FAST_AFTER;
    return (u * u * u / 75.0f + u) * 60.0f + 600.0f;
}

void CrawlState::init(GlobalState& g) {
    global = &g;
    elapsed = 0;
    fast = false;
}

void CrawlState::mount() {
    elapsed = 0;
    fast = false;
}

ScreenTransition CrawlState::update(float dt) {
    ProfileZone zone(global->profiler, "update");
    elapsed += dt;
    if (elapsed >= DURATION) return ScreenTransition::push(ScreenId::ROLE_REVEAL);
    fast = elapsed >= FAST_AFTER;
    return ScreenTransition::none();
}

void CrawlState::render(uint32_t, DrawList& out) {
    ProfileZone zone(global->profiler, "render");
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {0, 0, 0, 255});
    const float scroll = crawl_scroll(elapsed, fast);
    for (int i = 0; i < CRAWL_LINE_COUNT; ++i) {
        const float y = LINE_PITCH * static_cast<float>(i) + START_Y - scroll;
        if (y > VISIBLE_TOP && y < VISIBLE_BOTTOM) draw_text(out, 80, y, CRAWL_STORY[i], 32, {255, 220, 100, 255});
    }
}

} // namespace cog

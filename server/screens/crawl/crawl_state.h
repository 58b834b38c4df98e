// The intro crawl: the back-story scrolls up for thirty seconds, then the roles are revealed.
#pragma once

#include "server/screens/screen/screen.h"

namespace cog {

class CrawlState final : public ScreenProcs {
public:
    static constexpr float DURATION = 30.0f;   // seconds until the role reveal
    static constexpr float FAST_AFTER = 15.0f; // seconds on the slow curve

    float elapsed = 0; // seconds since mount
    bool fast = false; // elapsed has reached FAST_AFTER

    void init(GlobalState& g) override;
    void mount() override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;
};

// World units scrolled after t seconds, on the slow curve or the fast one.
float crawl_scroll(float t, bool fast);

} // namespace cog

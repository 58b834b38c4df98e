// A stand-in minigame: shows a card for a few seconds, then hands over to a new game select, so
// that a game always runs from the lobby to the end screen.
#pragma once

#include "server/screens/screen/screen.h"
#include "shared/types/draw.h"

namespace cog {

class PlaceholderScreen final : public ScreenProcs {
public:
    static constexpr float DURATION = 3.0f; // seconds before the hand-over

    explicit PlaceholderScreen(const char* title) : title_(title) {}

    ScreenTransition update(float dt) override {
        elapsed_ += dt;
        if (elapsed_ >= DURATION && !done_) {
            done_ = true;
            return ScreenTransition::push(ScreenId::GAME_SELECT);
        }
        return ScreenTransition::none();
    }

    void render(uint32_t, DrawList& out) override {
        draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {25, 25, 35, 255});
        draw_text(out, 440, 320, title_, 40, {100, 200, 255, 255});
    }

private:
    const char* title_;
    float elapsed_ = 0;  // seconds since init
    bool done_ = false;  // the hand-over was returned once
};

} // namespace cog

// End screen timing, music and picture.
#include "server/screens/end/end_state.h"

#include "server/profiler/profiler.h"
#include "server/screens/screen/screen_kinds.h"
#include "shared/log/log.h"
#include "shared/types/draw.h"

#include <algorithm>

namespace cog {

std::unique_ptr<ScreenProcs> create_end() { return std::make_unique<EndState>(); }

void EndState::init(GlobalState& g) {
    global = &g;
    fade = FADE_SECONDS;
    return_timer = RETURN_SECONDS;
    LOG_INFO("[END] Initialized");
}

void EndState::mount() {
    fade = FADE_SECONDS;
    return_timer = RETURN_SECONDS;
    const bool overseer_won = count_alive_real_masked(*global) == 0;
    if (global->play_sound)
        global->play_sound(overseer_won ? SoundId::MUSIC_OVERSEER_WIN : SoundId::MUSIC_HUMAN_WIN, 0.7f);
    LOG_INFO("[END] Mounted, overseer_won=%s, auto-return in %.1f seconds", overseer_won ? "true" : "false",
             RETURN_SECONDS);
    // One message, so that a client keeps the lines up for as long as the whole takes to read.
    if (const std::string story = end_story(*global); !story.empty()) tell_everyone(*global, story);
}

ScreenTransition EndState::update(float dt) {
    ProfileZone zone(global->profiler, "end_update");
    if (fade > 0) fade = std::max(fade - dt, 0.0f);
    return_timer -= dt;
    if (return_timer <= 0) {
        LOG_INFO("[END] Auto-return timer expired, returning to lobby");
        return ScreenTransition::pop_to(ScreenId::LOBBY);
    }
    return ScreenTransition::none();
}

void EndState::render(uint32_t viewer_id, DrawList& out) {
    ProfileZone zone(global->profiler, "end_render");
    // The texts fade in over the first half second: alpha 0 at fade 0.5, 255 from fade 0 on.
    const uint8_t alpha = fade > 0 ? static_cast<uint8_t>(static_cast<int>((1.0f - 2.0f * fade) * 255.0f)) : 255;
    const MaskedTally tally = tally_real_masked(*global);
    // Once per viewer and frame: a trace, not news.
    LOG_DEBUG("[END] Masked players (excluding bots): %d total, %d living, %d dead", tally.total, tally.living,
             tally.dead);

    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {0, 0, 0, 255});
    if (viewer_won(*global, viewer_id, tally)) {
        draw_text(out, 360, 200, "YOU WIN", 160, {0, 255, 100, alpha});
    } else {
        draw_text(out, 320, 200, "YOU LOSE", 160, {255, 50, 50, alpha});
    }
    const std::string_view footer =
        draw_format(out, "Returning to lobby in %d seconds...", static_cast<int>(return_timer) + 1);
    draw_text(out, 640 - 10 * static_cast<float>(footer.size()), 570, footer, 24, {200, 200, 200, alpha});
}

} // namespace cog

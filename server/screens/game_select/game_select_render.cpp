// Game select picture: title, the rolling or settled die, the survivors and the rounds left.
#include "server/screens/game_select/game_select_state.h"

#include "server/profiler/profiler.h"
#include "server/screens/game_select/minigame_table.h"
#include "shared/types/draw.h"

#include <string_view>

namespace cog {

namespace {

// Texts centred by estimate around `centre`: x = centre - factor * byte length.
void draw_centred(DrawList& out, std::string_view text, float centre, float factor, float y, int size, Color color) {
    draw_text(out, centre - factor * static_cast<float>(text.size()), y, text, size, color);
}

void draw_rolling(DrawList& out, const GameSelectState& s) {
    draw_text(out, 570, 260, "Rolling...", 32, {255, 255, 100, 255});
    // Alternates full white and grey every tenth of a second.
    const uint8_t grey = static_cast<int>(s.elapsed * 10.0f) % 2 == 0 ? 255 : 200;
    draw_sprite(out, dice_asset(s.face), 540, 320, 200, 200, {grey, grey, grey, 255});
}

void draw_result(DrawList& out, const GameSelectState& s) {
    draw_centred(out, screen_display_name(minigame_for_face(s.face)), 600, 12, 260, 48, {100, 255, 200, 255});
    draw_sprite(out, dice_asset(s.result), 540, 320, 200, 200, WHITE);
    draw_centred(out, draw_format(out, "Starting in %d...", static_cast<int>(s.timer) + 1), 640, 8, 540, 24,
                 {200, 200, 200, 255});
}

} // namespace

void GameSelectState::render(uint32_t, DrawList& out) {
    ProfileZone zone(global->profiler, "render");
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {20, 15, 30, 255});
    draw_text_glow(out, {"SELECTING MINIGAME", 480, 150, 60, elapsed, WHITE, {100, 200, 255, 255}});
    if (phase == 0) draw_rolling(out, *this);
    if (phase == 1) draw_result(out, *this);
    draw_centred(out, draw_format(out, "MASKED Alive: %d", count_alive_real_masked(*global)), 640, 10, 580, 32,
                 {255, 255, 150, 255});
    draw_centred(out,
                 draw_format(out, "Rounds Left: %d", static_cast<int>(MAX_MINIGAMES + 1 - global->next_minigame_count)),
                 640, 8, 625, 28, {100, 255, 100, 255});
    if (fade > 0) draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {0, 0, 0, static_cast<uint8_t>(static_cast<int>(fade * 255.0f))});
}

} // namespace cog

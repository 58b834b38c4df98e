// Role reveal picture: the viewer's own role card over a dark background, emerging from black.
#include "server/screens/role_reveal/role_reveal_state.h"

#include "server/profiler/profiler.h"
#include "server/screens/screen/seats.h"
#include "shared/types/draw.h"

#include <algorithm>

namespace cog {

namespace {

void draw_masked_card(DrawList& out, uint32_t mask) {
    draw_sprite(out, AssetId::BODY, 95, 135, 450, 450, WHITE);
    draw_sprite(out, mask_asset(mask), 95, 135, 450, 450, WHITE);
    draw_text(out, 490, 260, "YOU ARE MASKED", 48, {180, 100, 255, 255});
    constexpr Color body{200, 150, 255, 255};
    draw_text(out, 490, 340, "Infiltrate Cogwell Inc. Observe robot behavior and mimic them.", 24, body);
    draw_text(out, 490, 380, "Do not let the Overseer find you.", 24, body);
}

void draw_cop_card(DrawList& out) {
    constexpr Color blue{100, 200, 255, 255};
    draw_text(out, 310, 280, "YOU ARE THE OVERSEER", 48, blue);
    draw_text(out, 158, 360, "Monitor the workers of Cogwell Inc. Keep an eye out for human infiltrators.", 28, blue);
    draw_text(out, 232, 405, "If you notice any suspicious behavior, shoot on sight.", 28, blue);
}

// A human who connected after the deal has no role; he is told to wait rather than shown a card.
void draw_waiting_card(DrawList& out) {
    constexpr std::string_view text = "Waiting for the next game...";
    draw_text(out, 640 - 8 * static_cast<float>(text.size()), 340, text, 32, {200, 200, 200, 255});
}

void draw_role_card(DrawList& out, const GlobalState& global, uint32_t viewer_id) {
    const PlayerRole* role = find_role(global, viewer_id);
    if (!role) {
        draw_waiting_card(out);
    } else if (*role == PlayerRole::COP) {
        draw_cop_card(out);
    } else {
        // The mask of his seat: the one his figure wears in every minigame of this game.
        draw_masked_card(out, static_cast<uint32_t>(worn_mask(global, viewer_id)));
    }
}

} // namespace

void RoleRevealState::render(uint32_t viewer_id, DrawList& out) {
    ProfileZone zone(global->profiler, "render");
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {20, 15, 30, 255});
    if (phase == 0 || phase == 1) draw_role_card(out, *global, viewer_id);
    if (phase == 0) {
        const float shown = std::min(elapsed / FADE_SECONDS, 1.0f);
        const auto alpha = static_cast<uint8_t>(static_cast<int>((1.0f - shown) * 255.0f));
        draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {0, 0, 0, alpha});
    }
}

} // namespace cog

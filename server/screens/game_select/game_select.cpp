// Game select rules: the round counter, the end-of-game checks, the die roll and the launch.
#include "server/screens/game_select/game_select_state.h"

#include "server/profiler/profiler.h"
#include "server/screens/game_select/minigame_table.h"
#include "server/screens/screen/screen_kinds.h"
#include "shared/log/log.h"

#include <algorithm>

namespace cog {

std::unique_ptr<ScreenProcs> create_game_select() { return std::make_unique<GameSelectState>(); }

int32_t die_face_from_wall_ns(int64_t wall_ns) {
    const auto low = static_cast<uint32_t>(static_cast<uint64_t>(wall_ns) & 0xFFFFFFFFu);
    return static_cast<int32_t>(low % 3u) + 1;
}

void GameSelectState::init(GlobalState& g) {
    global = &g;
    set_up_roll();
}

// Shared by init and every mount that starts a new round.
void GameSelectState::set_up_roll() {
    player_count = count_seated(*global);
    if (count_alive_real_masked(*global) == 0) {
        LOG_INFO("Game ending in init: all real masked players dead (COP wins)");
        game_over = true;
        return;
    }
    phase = 0;
    face = 1;
    last_step = 0;
    timer = ROLL_SECONDS;
    // The wall clock is a cheap, unpredictable source; the clock is always injected by the host.
    result = die_face_from_wall_ns(global->clock ? global->clock->wall_ns() : 0);
    LOG_INFO("Game select initialized: %d players, dice will roll to %d", static_cast<int>(player_count), result);
}

void GameSelectState::mount() {
    LOG_INFO("[GAME_SELECT mount] next_minigame_count before=%d", static_cast<int>(global->next_minigame_count));
    global->next_minigame_count += 1;
    LOG_INFO("[GAME_SELECT mount] Incremented counter to %d", static_cast<int>(global->next_minigame_count));
    if (global->next_minigame_count > MAX_MINIGAMES) {
        LOG_INFO("Game ending: 5 minigames completed");
        game_over = true;
        return;
    }
    if (count_alive_real_masked(*global) == 0) {
        LOG_INFO("Game ending: all real masked players dead");
        game_over = true;
        return;
    }
    game_over = false;
    set_up_roll();
    fade = 1.0f;
    LOG_INFO("[GAME_SELECT mount] Rounds remaining will show: %d",
             static_cast<int>(MAX_MINIGAMES + 1 - global->next_minigame_count));
}

ScreenTransition GameSelectState::update(float dt) {
    ProfileZone zone(global->profiler, "update");
    if (game_over) return ScreenTransition::push(ScreenId::END);
    elapsed += dt;
    if (fade > 0) fade = std::max(fade - dt, 0.0f);
    timer -= dt;
    if (phase == 0) return update_rolling();
    if (phase == 1) return update_showing();
    return ScreenTransition::none();
}

ScreenTransition GameSelectState::update_rolling() {
    if (timer > 0) {
        const int32_t step = static_cast<int32_t>((ROLL_SECONDS - timer) / FLICKER_STEP);
        if (step > last_step) {
            last_step = step;
            face = step % 3 + 1;
        }
        return ScreenTransition::none();
    }
    phase = 1;
    face = result;
    timer = SHOW_SECONDS;
    LOG_INFO("Dice roll complete: %d -> minigame %s", result, screen_id_name(minigame_for_face(result)));
    return ScreenTransition::none();
}

ScreenTransition GameSelectState::update_showing() {
    if (timer > 0) return ScreenTransition::none();
    phase = 2;
    const ScreenId minigame = minigame_for_face(face);
    LOG_INFO("Transitioning to minigame: %s", screen_id_name(minigame));
    return ScreenTransition::push(minigame);
}

} // namespace cog

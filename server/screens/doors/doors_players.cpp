// The workers' movement each update: walks, human hands, press timers, robots, turns.
#include "server/screens/doors/doors_state.h"

#include <algorithm>

namespace cog::doors {

namespace {
// 1 + the largest finish order among the row's finished players: the first finisher gets 0.
int64_t next_finish_order(const DoorsState& state, int64_t row) {
    int64_t largest = -1;
    for (const auto& [id, other] : state.players) {
        if (other.row == row && other.stage > 2) largest = std::max(largest, other.finish_order);
    }
    return largest + 1;
}

void arrive(DoorsState& state, DoorsPlayer& player) {
    player.is_walking = false;
    player.walk_progress = 0;
    if (player.stage < FINISHED) {
        player.is_active = true;
        player.is_correct = false;
        return;
    }
    player.is_active = false;
    if (player.finish_order < 0) player.finish_order = next_finish_order(state, player.row);
}

void advance_walk(DoorsState& state, DoorsPlayer& player, float dt) {
    player.walk_progress += WALK_SPEED * dt;
    if (player.walk_progress >= 1) arrive(state, player);
}

void sweep_human_hand(DoorsPlayer& p, float dt) {
    if (!p.is_active || p.is_bot || p.is_correct || p.has_pressed || p.is_animating || p.is_walking) return;
    sweep_hand(p, dt, HUMAN_HAND_TURN);
}

void run_press_timers(DoorsPlayer& p, float dt) {
    if (p.has_pressed) {
        p.press_timer -= dt;
        if (p.press_timer <= 0) p.has_pressed = false;
    }
    if (p.is_animating) {
        p.anim_timer -= dt;
        if (p.anim_timer <= 0) p.is_animating = false;
    }
}

// Calls step(player) for every living worker in table order.
template <class Step>
void for_each_living(DoorsState& state, Step&& step) {
    for (auto& [id, player] : state.players) {
        if (!is_dead_player(state, id)) step(player);
    }
}
} // namespace

void update_players(DoorsState& state, float dt) {
    for_each_living(state, [&](DoorsPlayer& p) {
        if (p.is_walking) advance_walk(state, p, dt);
    });
    for_each_living(state, [&](DoorsPlayer& p) { sweep_human_hand(p, dt); });
    for_each_living(state, [&](DoorsPlayer& p) { run_press_timers(p, dt); });
    update_bots(state, dt);
    update_turn_order(state);
    if (all_players_finished(state)) start_judgement(state);
}

void start_judgement(DoorsState& state) {
    state.phase = JUDGEMENT;
    state.phase_timer = JUDGEMENT_TIME;
}

} // namespace cog::doors

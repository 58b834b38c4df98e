// Lobby rules: who is listed, ready marks, the all-ready countdown and the reset between games.
#include "server/screens/lobby/lobby_state.h"

#include "server/profiler/profiler.h"
#include "server/screens/screen/screen_kinds.h"
#include "shared/log/log.h"
#include "shared/log/printable.h"

#include <vector>

namespace cog {

std::unique_ptr<ScreenProcs> create_lobby() { return std::make_unique<LobbyState>(); }

void LobbyState::init(GlobalState& g) {
    global = &g;
    LOG_INFO("[LOBBY INIT] Starting initialization - global.players count: %d", static_cast<int>(g.players.size()));
    for (const auto& [id, player] : g.players) {
        if (!is_seated(player)) continue;
        ready_players[id] = false;
        LOG_INFO("[LOBBY INIT] Added player %d to ready_players - name='%s'", static_cast<int>(id), printable(player.name).c_str());
    }
    LOG_INFO("[LOBBY INIT] Completed - min_players=%d, ready_players count=%d", min_players,
             static_cast<int>(ready_players.size()));
}

// Resets the shared state for a new game. The countdown and time_elapsed are deliberately kept:
// time_elapsed only gates the first seconds after start-up.
void LobbyState::mount() {
    LOG_INFO("[LOBBY] Mount called - resetting game state");
    global->next_minigame_count = 0;
    global->roles.clear();
    global->seats.clear();
    global->shots.clear();
    remove_bots();
    unready_seated_players();
    LOG_INFO("[LOBBY] Game state reset complete - %d real players remaining", static_cast<int>(global->players.size()));
}

void LobbyState::remove_bots() {
    std::vector<uint32_t> bot_ids;
    for (auto& [id, player] : global->players) {
        // Every human is revived, connected or not: one shot in the last game and away at its
        // end would otherwise come back dead into the next one.
        if (player.is_bot) bot_ids.push_back(id);
        else player.is_dead = false;
    }
    for (uint32_t id : bot_ids) {
        LOG_INFO("[LOBBY] Removing bot player %d", static_cast<int>(id));
        global->players.erase(id);
        global->roles.erase(id);
        ready_players.erase(id);
    }
}

// Rebuilt rather than updated: a player who readied and then left while another screen was on
// top never told the lobby, and his stale entry would block or miscount the next start.
void LobbyState::unready_seated_players() {
    ready_players.clear();
    for (const auto& [id, player] : global->players)
        if (is_seated(player)) ready_players[id] = false;
}

void LobbyState::on_player_enter(uint32_t id) { ready_players[id] = false; }

void LobbyState::on_player_leave(uint32_t id) {
    bool was_ready = false;
    if (auto it = ready_players.find(id); it != ready_players.end()) {
        was_ready = it->second;
        ready_players.erase(it);
    }
    LOG_INFO("[LOBBY] Player %d left lobby (was_ready=%s, remaining_players=%d)", static_cast<int>(id),
             was_ready ? "true" : "false", static_cast<int>(ready_players.size()));
    note_departure(id);
}

// Those waiting see the row go; a line says whose it was. It goes out with the next update, so
// that it follows the host's own news of the leave instead of coming before it.
void LobbyState::note_departure(uint32_t id) {
    const PlayerConnection* player = find_player(*global, id);
    if (!player || player->is_bot) return;
    const std::string who = player->name.empty() ? "Player " + std::to_string(id) : player->name;
    departures.emplace_back(id, who + " left");
}

void LobbyState::tell_departures() {
    for (const auto& [id, line] : departures) tell_everyone(*global, line, id);
    departures.clear();
}

void LobbyState::handle_input(uint32_t id, const InputState& input) {
    if (time_elapsed < INPUT_DELAY || !input.space) return;
    bool& ready = ready_players[id];
    if (ready) return;
    ready = true;
    LOG_INFO("[LOBBY] Player %d marked READY (time_elapsed=%.2fs)", static_cast<int>(id), time_elapsed);
}

bool LobbyState::everybody_ready() const {
    const int listed = static_cast<int>(ready_players.size());
    if (listed < 1 || listed < min_players) return false;
    for (const auto& entry : ready_players)
        if (!entry.second) return false;
    return true;
}

std::string lobby_row_label(const GlobalState& global, uint32_t id) {
    const PlayerConnection* player = find_player(global, id);
    if (player && !player->name.empty()) return "Player - " + player->name;
    return "Player - Player " + std::to_string(id);
}

void LobbyState::refresh_row_labels() {
    row_labels.resize(ready_players.size());
    size_t row = 0;
    for (const auto& entry : ready_players) {
        row_labels[row++] = {entry.first, lobby_row_label(*global, entry.first)};
    }
}

ScreenTransition LobbyState::update(float dt) {
    ProfileZone zone(global->profiler, "update");
    tell_departures();
    refresh_row_labels();
    time_elapsed += dt;
    if (everybody_ready()) {
        if (!countdown_active) {
            countdown_active = true;
            countdown = COUNTDOWN_START;
            LOG_INFO("All players ready, starting countdown");
        }
        // The first tick is taken in the very frame that starts the countdown.
        countdown -= dt;
        if (countdown <= 0) {
            LOG_INFO("Starting game with %d players", static_cast<int>(ready_players.size()));
            return ScreenTransition::push(ScreenId::CRAWL);
        }
    } else if (countdown_active) {
        countdown_active = false;
        countdown = COUNTDOWN_START;
    }
    return ScreenTransition::none();
}

} // namespace cog

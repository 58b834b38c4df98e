// Seating bots and dealing roles at the start of a game.
#include "server/screens/role_reveal/role_reveal_state.h"

#include "shared/log/log.h"

namespace cog {

namespace {

uint32_t next_free_id(const GlobalState& global) {
    return global.players.empty() ? 1 : global.players.rbegin()->first + 1;
}

void add_bot(GlobalState& global) {
    PlayerConnection bot;
    bot.is_bot = true;
    bot.connected = true;
    bot.id = next_free_id(global);
    bot.mask = bot_mask(bot.id, global.mask_offset);
    global.players[bot.id] = bot;
    global.roles[bot.id] = PlayerRole::MASKED;
    LOG_INFO("Created bot with ID: %d, mask: %d", static_cast<int>(bot.id), bot.mask);
}

} // namespace

void fill_with_bots(GlobalState& global) {
    const int seated = count_seated(global);
    const int needed = RoleRevealState::MAX_SEATS - seated;
    if (needed <= 0) return;
    LOG_INFO("Filling with %d bots (current: %d, max: %d)", needed, seated, RoleRevealState::MAX_SEATS);
    for (int k = 0; k < needed; ++k) add_bot(global);
}

void permute_real_players(std::vector<uint32_t>& ids) {
    const uint32_t n = static_cast<uint32_t>(ids.size());
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t v = ids[i];
        const uint32_t j = (i + v) % n;
        ids[i] = ids[j];
        ids[j] = v;
    }
}

void deal_roles(GlobalState& global) {
    std::vector<uint32_t> real_ids;
    int bots = 0;
    for (const auto& [id, player] : global.players) {
        if (!is_seated(player)) continue;
        if (player.is_bot) {
            ++bots;
        } else {
            real_ids.push_back(id);
        }
    }
    const int n = static_cast<int>(real_ids.size());
    LOG_INFO("Role assignment: %d real players, %d bots", n, bots);
    if (n == 0) return;

    permute_real_players(real_ids);
    LOG_INFO("Role distribution: %d MASKED, %d COP", n - 1, 1);
    for (int k = 0; k < n - 1; ++k) {
        global.roles[real_ids[k]] = PlayerRole::MASKED;
        LOG_INFO("Player %d assigned role: MASKED", static_cast<int>(real_ids[k]));
    }
    global.roles[real_ids[n - 1]] = PlayerRole::COP;
    LOG_INFO("Player %d assigned role: COP", static_cast<int>(real_ids[n - 1]));
}

} // namespace cog

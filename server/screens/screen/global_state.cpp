// Queries over the shared game state.
#include "server/screens/screen/global_state.h"

namespace cog {

const char* player_role_name(PlayerRole role) {
    return role == PlayerRole::COP ? "COP" : "MASKED";
}

int count_alive_real_masked(const GlobalState& global) {
    int count = 0;
    for (const auto& [id, player] : global.players) {
        if (!is_real_player(player) || player.is_dead) continue;
        const PlayerRole* role = find_role(global, id);
        if (role && *role == PlayerRole::MASKED) ++count;
    }
    return count;
}

void tell_everyone(const GlobalState& global, std::string_view text, uint32_t except_id) {
    if (!global.tell) return;
    for (const auto& [id, player] : global.players)
        if (id != except_id && is_real_player(player)) global.tell(id, text);
}

int count_seated(const GlobalState& global) {
    int count = 0;
    for (const auto& entry : global.players) count += is_seated(entry.second) ? 1 : 0;
    return count;
}

const PlayerRole* find_role(const GlobalState& global, uint32_t id) {
    auto it = global.roles.find(id);
    return it == global.roles.end() ? nullptr : &it->second;
}

bool is_cop(const GlobalState& global, uint32_t id) {
    const PlayerRole* role = find_role(global, id);
    return role && *role == PlayerRole::COP;
}

const PlayerConnection* find_player(const GlobalState& global, uint32_t id) {
    auto it = global.players.find(id);
    return it == global.players.end() ? nullptr : &it->second;
}

PlayerConnection* find_player(GlobalState& global, uint32_t id) {
    auto it = global.players.find(id);
    return it == global.players.end() ? nullptr : &it->second;
}

int32_t human_mask(uint32_t id, uint32_t mask_offset) { return static_cast<int32_t>((id + mask_offset) % 7u); }
int32_t bot_mask(uint32_t id, uint32_t mask_offset) { return static_cast<int32_t>((id + mask_offset) % 8u); }

uint32_t mask_offset_from_wall_ns(int64_t wall_ns) {
    return static_cast<uint32_t>(static_cast<uint64_t>(wall_ns) & 0xFFFFFFFFu) % 7u;
}

} // namespace cog

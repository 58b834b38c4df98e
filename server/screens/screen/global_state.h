// The shared game state every screen reads and writes: players, roles, counters and sounds.
#pragma once

#include "shared/platform/clock.h"
#include "shared/platform/random.h"
#include "shared/assets/assets.h"
#include "shared/protocol/messages.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace cog {

class Profiler;

enum class PlayerRole : int64_t { MASKED = 0, COP = 1 };

const char* player_role_name(PlayerRole role); // "MASKED", "COP"

struct PlayerConnection {
    bool is_bot = false;
    int32_t mask = 0;        // mask index: humans 0..6, bots 0..7
    InputState input;        // latest snapshot from this player
    bool show_mouse = false; // per-player pointer display option
    bool is_dead = false;    // shot in a minigame; stays seated as a spectator
    uint32_t id = 0;         // equals the table key; ids start at 1
    std::string name;        // owned copy of the login name; empty for bots
    bool connected = false;  // seated: a live human connection, or any bot
    bool is_admin = false;   // gave the room's admin token; kept across reconnections of the seat
};

// One shot of this game: in which minigame, at whom, and what the verdict was.
struct GameShot {
    const char* minigame = ""; // its title, e.g. "Typing pool"
    uint32_t id = 0;           // the player shot
    uint32_t number = 0;       // the number his figure was labelled with
    bool was_bot = false;
};

struct GlobalState {
    std::map<uint32_t, PlayerConnection> players; // every player of this run, by id (ascending)
    std::map<uint32_t, PlayerRole> roles;
    std::map<uint32_t, uint32_t> seats; // id -> seat number 1..N, dealt with the roles; cleared by the lobby
    std::vector<GameShot> shots;        // this game's shots in order; cleared by the lobby
    bool show_cursor = false;
    bool show_names = false;
    uint32_t mask_offset = 0;         // 0..6, from the wall clock at start-up
    int64_t next_minigame_count = 0;  // game select mounts since the last lobby mount
    std::function<void(SoundId, float)> play_sound; // to every connected human
    std::function<void()> stop_music;               // to every connected human
    // A line from the game itself (a chat message of sender 0) to one connected human.
    std::function<void(uint32_t, std::string_view)> tell;

    // Services of the host, injected so that rules and timing can be tested deterministically.
    Random* random = nullptr;
    Clock* clock = nullptr;
    Profiler* profiler = nullptr;
};

// Seated: connected (live humans and every bot). Real: seated and not a bot.
inline bool is_seated(const PlayerConnection& p) { return p.connected; }
inline bool is_real_player(const PlayerConnection& p) { return p.connected && !p.is_bot; }

// Real masked players whose is_dead is clear.
int count_alive_real_masked(const GlobalState& global);

// Tells every connected human but `except_id` (0: nobody is left out); nothing without `tell`.
void tell_everyone(const GlobalState& global, std::string_view text, uint32_t except_id = 0);

// Entries with `connected` set, bots included.
int count_seated(const GlobalState& global);

// The role of a player, or nullptr when it has none.
const PlayerRole* find_role(const GlobalState& global, uint32_t id);
bool is_cop(const GlobalState& global, uint32_t id);

const PlayerConnection* find_player(const GlobalState& global, uint32_t id);
PlayerConnection* find_player(GlobalState& global, uint32_t id);

// (id + offset) mod 7 for humans and mod 8 for bots, in unsigned 32-bit arithmetic.
int32_t human_mask(uint32_t id, uint32_t mask_offset);
int32_t bot_mask(uint32_t id, uint32_t mask_offset);

// The wall clock's low 32 bits, modulo 7.
uint32_t mask_offset_from_wall_ns(int64_t wall_ns);

} // namespace cog

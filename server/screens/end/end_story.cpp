// The lines that tell everybody, once the game is over, who the Overseer was and who was shot.
#include "server/screens/end/end_state.h"

namespace cog {

namespace {

// A human by the name he logged in with; a robot by the number its figure wore.
std::string name_of(const GlobalState& global, uint32_t id, uint32_t number) {
    const PlayerConnection* player = find_player(global, id);
    if (player && !player->is_bot && !player->name.empty()) return player->name;
    return "Player " + std::to_string(number);
}

std::string overseer_line(const GlobalState& global) {
    for (const auto& [id, role] : global.roles) {
        const PlayerConnection* player = find_player(global, id);
        if (role == PlayerRole::COP && player && !player->is_bot)
            return "The Overseer was " + name_of(global, id, id) + ".";
    }
    return {};
}

std::string shot_line(const GlobalState& global, const GameShot& shot) {
    return std::string(shot.minigame) + ": " + name_of(global, shot.id, shot.number) + " was shot \u2014 a " +
           (shot.was_bot ? "ROBOT." : "HUMAN.");
}

} // namespace

std::string end_story(const GlobalState& global) {
    std::string story = overseer_line(global);
    // A screen pushed by hand outside any game has nothing to tell.
    if (story.empty() && global.shots.empty()) return story;
    auto add = [&](const std::string& line) {
        if (!story.empty()) story += '\n';
        story += line;
    };
    for (const GameShot& shot : global.shots) add(shot_line(global, shot));
    if (global.shots.empty()) add("Nobody was shot.");
    return story;
}

} // namespace cog

// The lobby: lists the seated players, collects their ready marks and starts a game when all are ready.
#pragma once

#include "server/screens/screen/screen.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace cog {

// "Player - <name>", or "Player - Player <id>" for a player without a name.
std::string lobby_row_label(const GlobalState& global, uint32_t id);

class LobbyState final : public ScreenProcs {
public:
    static constexpr float INPUT_DELAY = 2.0f;     // seconds after creation before SPACE counts
    static constexpr float COUNTDOWN_START = 3.0f; // seconds from all-ready to the crawl

    std::map<uint32_t, bool> ready_players; // listed player id -> has pressed SPACE
    int32_t min_players = 1;                // fewest listed players that may start a countdown
    float time_elapsed = 0;                 // seconds since creation; never reset
    bool countdown_active = false;
    float countdown = COUNTDOWN_START;      // seconds left in the countdown
    // Each listed player's row label in ready_players order, made once a frame by update: every
    // viewer's picture shows the same rows, and a full lobby has hundreds of viewers.
    std::vector<std::pair<uint32_t, std::string>> row_labels;
    std::vector<std::pair<uint32_t, std::string>> departures; // who left, and the line telling it

    void init(GlobalState& g) override;
    void mount() override;
    void on_player_enter(uint32_t id) override;
    void on_player_leave(uint32_t id) override;
    void handle_input(uint32_t id, const InputState& input) override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;

private:
    bool everybody_ready() const;
    void remove_bots();
    void unready_seated_players();
    void refresh_row_labels();
    void note_departure(uint32_t id);
    void tell_departures();
};

} // namespace cog

// The metro commute's state record: phases, the push timeline, the passengers and their lean.
#pragma once

#include "server/screens/minigame/minigame_state.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace cog::metro {

enum GamePhase : int64_t { INTRO = 0, GAMEPLAY_HIDDEN = 1, GAMEPLAY_VISIBLE = 2, SHOOTING = 3 };

// What the car does to its passengers during one stretch of the ride.
enum class MetroEventKind : int64_t { DO_NOTHING = 0, PRESS_RIGHT = 1, PRESS_LEFT = 2 };

struct MetroEvent {
    MetroEventKind kind = MetroEventKind::DO_NOTHING;
    float duration = 0; // s
};

struct Passenger {
    int64_t slot_index = 0;  // place in the car, 0..7 from left to right
    bool is_bot = false;     // a robot: a bot player or a filler
    float tilt = 0;          // degrees, 0 upright; the sprites' rotation
    float time_offset = 0;   // s, robots only: how early (+) or late (-) this robot reads the timeline
    bool is_filler = false;  // a robot seated to fill the car, with no player behind its id
    uint32_t number = 0;     // its label: the player's seat number; a filler's own, after every seat
};

// The arrows a masked player held in its latest input.
struct HeldKeys {
    bool left = false;
    bool right = false;
};

inline constexpr int MAX_EVENTS = 24;
inline constexpr int CAR_SLOTS = 8;
inline constexpr uint32_t FIRST_FILLER_ID = 1000;
inline constexpr float RIDE_LENGTH = 60.0f;    // s of timeline
inline constexpr float HIDDEN_TIME = 10.0f;    // s of GAMEPLAY_HIDDEN
inline constexpr float VISIBLE_TIME = 20.0f;   // s of GAMEPLAY_VISIBLE
inline constexpr float MUSIC_VOLUME = 0.7f;

extern const MinigameRules RULES;

// The shared minigame fields (phase, briefing, intro, shot) come from MinigameScreen; its
// `players` table stays empty here: the car's figures are the passengers.
class MetroState final : public MinigameScreen {
public:
    MetroState();

    std::map<uint32_t, Passenger> passengers; // players and fillers (1000 and up), by id
    bool shot_fired = false;
    std::map<uint32_t, HeldKeys> held_keys;   // masked players' arrows, by id
    std::array<MetroEvent, MAX_EVENTS> timeline{};
    int64_t event_count = 0;                  // used entries of `timeline`
    float timeline_length = RIDE_LENGTH;      // s
    float ride_time = 0;                      // s since the ride began
    float ride_remaining = RIDE_LENGTH;       // s
    float event_started_at = 0;               // ride_time (s) at which the current event began
    // Index of the event the previous update saw (nullopt: none); the change of event is found
    // by comparing with it, whatever the frame times were.
    std::optional<int64_t> seen_event;
    bool music_started = false;

    // The procedure slots, in the order the screen contract lists them.
    void init(GlobalState& g) override;
    void mount() override;
    ~MetroState() override;
    void on_player_enter(uint32_t id) override;
    void on_player_leave(uint32_t id) override;
    void handle_input(uint32_t id, const InputState& input) override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;
    uint32_t figure_number(uint32_t id) const override;
};

// The passengers' ids from the left of the car to the right: drawing and aiming walk this order.
std::vector<uint32_t> ids_by_slot(const MetroState& state);

// The two procedures that live in files of their own; the rest are in metro.cpp.
void metro_handle_input(MetroState& state, uint32_t id, const InputState& input);
void metro_render(const MetroState& state, uint32_t viewer_id, DrawList& out);

} // namespace cog::metro

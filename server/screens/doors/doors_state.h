// The door memorization minigame's state record, phases, player record and procedures.
#pragma once

#include "server/screens/minigame/minigame_state.h"

#include <array>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace cog::doors {

enum DoorsPhase : int64_t { INTRO = 0, GAME_START = 1, ACTIVE = 2, JUDGEMENT = 3, SHOOTING = 4, GAME_OVER = 5 };

inline constexpr int ROW_COUNT = 2;
inline constexpr int CELL_COUNT = 3;      // door cells per row; also the buttons per cell
inline constexpr int64_t QUEUED = -1;     // stage of a player waiting in the row queue
inline constexpr int64_t FINISHED = 3;    // stage of a player through all cells

inline constexpr float GAME_START_TIME = 5.0f;  // s the first robots work before humans may press
inline constexpr float JUDGEMENT_TIME = 15.0f;  // s nominal; the clock runs at double speed
inline constexpr float GAME_OVER_TIME = 3.0f;   // s the game-over picture stays up
inline constexpr float WATCHING_WARNING_AT = 2.0f; // s of GAME_START left when the warning shows
inline constexpr float PRESS_TIME = 0.3f;       // s a press is shown and blocks the next one
inline constexpr float ROBOT_START_DELAY = 3.0f; // s a robot waits at cell 0 before its hand moves
inline constexpr float WALK_SPEED = 0.5f;       // walk progress per second: a walk lasts 2 s
inline constexpr float STALL_TIME = 20.0f;      // s of ACTIVE without progress before judgement
inline constexpr float HUMAN_HAND_TURN = 2.0f;  // button units where a human's hand turns back
inline constexpr float ROBOT_HAND_TURN = 2.286f; // button units where a robot's hand turns back

extern const MinigameRules RULES;
extern const std::array<std::string_view, 3> INTRO_LINES;

struct DoorsPlayer {
    Color color{};
    int64_t row = 0;            // 0 for odd ids, 1 for even ids
    int64_t stage = QUEUED;     // -1 queued; 0..2 the cell at or walked to; 3 through
    int64_t finish_order = -1;  // 0 for the first finisher of the row, then 1, 2, ...
    bool is_bot = false;        // copied at seating; false for late joiners
    bool is_active = false;     // standing at a cell with the hand running
    bool is_correct = false;    // pressed the button the current cell demands
    bool has_pressed = false;   // a press is shown; blocks presses and stops the hand
    float press_timer = 0;      // s left of has_pressed
    int64_t pressed_button = -1; // 0 top .. 2 bottom; -1 before any press
    float hand_pos = 1.0f;      // button units: 0 top, 1 middle, 2 bottom
    float hand_dir = 1.0f;      // +1 downwards, -1 upwards
    bool is_animating = false;  // press animation running
    float anim_timer = 0;       // s left of is_animating
    float start_delay = 0;      // s a robot still waits at cell 0
    float reaction_timer = 0;   // s between a robot's alignment and its press; 0 = not drawn
    bool is_walking = false;
    float walk_progress = 0;    // 0..1
    float walk_from_x = 0, walk_from_y = 0; // px, top-left of the figure
    float walk_to_x = 0, walk_to_y = 0;     // px
};

// The base's typing-player table stays empty here: this minigame's workers are DoorsPlayers, kept
// in `players` below, which hides the base's table of the same name.
class DoorsState final : public MinigameScreen {
public:
    DoorsState();
    ~DoorsState() override;

    std::map<uint32_t, DoorsPlayer> players;         // seated non-Overseer players, by id
    std::array<int64_t, CELL_COUNT> sequence{0, 1, 2}; // button index each cell demands
    std::array<std::vector<uint32_t>, ROW_COUNT> row_queues; // ids waiting for cell 0
    bool watching_warning = false;                   // set in the last 2 s of GAME_START
    bool game_over_done = false;                     // GAME_OVER's hand-over was returned
    float idle_time = 0;                             // s of ACTIVE since a right press or a walk

    void init(GlobalState& g) override;
    void on_player_enter(uint32_t id) override;
    void on_player_leave(uint32_t id) override;
    void handle_input(uint32_t id, const InputState& input) override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;
};

// Lifecycle and the procedure slots.
void choose_sequence(DoorsState& state, Random& random);
void doors_init(DoorsState& state, GlobalState& global);
void doors_destroy(DoorsState& state);
void doors_on_player_enter(DoorsState& state, uint32_t id);
void doors_on_player_leave(DoorsState& state, uint32_t id);
void doors_handle_input(DoorsState& state, uint32_t id, const InputState& input);
ScreenTransition doors_update(DoorsState& state, float dt);
void doors_render(const DoorsState& state, uint32_t viewer_id, DrawList& out);

// Rules pieces.
void update_players(DoorsState& state, float dt);
void update_bots(DoorsState& state, float dt);
void update_turn_order(DoorsState& state);
bool all_players_finished(const DoorsState& state);
void start_judgement(DoorsState& state);

// The hand: moves dt button units, turning back at 0 and at `turn_at`; a press is shown (and
// blocks the next one) for PRESS_TIME.
void sweep_hand(DoorsPlayer& player, float dt, float turn_at);
void show_press(DoorsPlayer& player, int64_t button);
// The press was the button the cell demands: the worker may move on, and the game is not idle.
void press_right_button(DoorsState& state, DoorsPlayer& player);

// Geometry.
struct Position {
    float x = 0, y = 0; // px, top-left of the figure
};
float cell_x(int64_t stage);  // px, where a figure stands at the cell
float row_y(int64_t row);     // px
Position get_player_position(const DoorsState& state, uint32_t id);
Position player_position(const DoorsPlayer& player);
// The button a hand at `hand_pos` points at: rounded half away from zero, clamped to 0..2.
int64_t button_under_hand(float hand_pos);
// The first drawn figure whose 200 x 200 box contains the point, edges included; 0 for none.
uint32_t figure_at_point(const DoorsState& state, float x, float y);

// Who counts: alive unless the host's record says dead; Overseer by role.
bool is_dead_player(const DoorsState& state, uint32_t id);
bool is_overseer(const DoorsState& state, uint32_t id);
// Figures that are drawn and can be shot: seated at a cell or beyond, not the Overseer, alive.
bool is_drawn_figure(const DoorsState& state, uint32_t id, const DoorsPlayer& player);

} // namespace cog::doors

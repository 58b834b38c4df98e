// The door memorization's constants for the shared mechanics: briefing, intro texts, phases, alerts.
#include "server/screens/doors/doors_state.h"

namespace cog::doors {

namespace {
constexpr std::array<std::string_view, 10> COP_INTRO_LINES{
    "Overseer,",
    "Your task today is to monitor the workers as they clock into work.",
    "All workers are installed with 54 petabyte solid state drives,",
    "making button memorization trivial.",
    "If you notice any suspicious behavior, use your company-assigned",
    "pistol to resolve the situation.",
    "Due to company policy, the use of firearms is limited",
    "to within elevator lifts.",
    "Failure will not be tolerated.",
    "- Mr. GEARS",
};

constexpr std::array<const char*, 6> PHASE_NAMES{"INTRO", "GAME_START", "ACTIVE", "JUDGEMENT", "SHOOTING", "GAME_OVER"};

// The longer lines sit further left than the typing minigames' and the block does not slide.
constexpr BriefingLayout BRIEFING{
    .duration = 10.0f,
    .stage1_at = 9.75f,
    .stage2_at = 2.0f,
    .lines = COP_INTRO_LINES,
    .reveal_span = 7.75f,
    .line_spacing = 60,
    .first_line_y = 20,
    .line_x_offset = -150,
    .slide = 0,
    .get_ready = false,
    .get_ready_x = 0,
    .get_ready_y = 0,
};
} // namespace

const MinigameRules RULES = [] {
    MinigameRules rules;
    rules.tag = "[DOORS]";
    rules.title = "Doors";
    rules.phase_names = PHASE_NAMES;
    rules.intro_phase = INTRO;
    rules.shooting_phase = SHOOTING;
    rules.briefing = BRIEFING;
    rules.intro_duration = 5.0f;
    rules.spectator_alert = true;
    return rules;
}();

const std::array<std::string_view, 3> INTRO_LINES{
    "Press the buttons in the same order as the robots!",
    "Watch the first robot carefully...",
    "Press SPACE when your hand aligns with the button",
};

} // namespace cog::doors

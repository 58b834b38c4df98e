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

MinigameRules make_rules() {
    MinigameRules r;
    r.tag = "[DOORS]";
    r.phase_names = PHASE_NAMES;
    r.intro_phase = INTRO;
    r.shooting_phase = SHOOTING;
    r.briefing.duration = 10.0f;
    r.briefing.stage1_at = 9.75f;
    r.briefing.stage2_at = 2.0f;
    r.briefing.lines = COP_INTRO_LINES;
    r.briefing.reveal_span = 7.75f;
    r.briefing.line_spacing = 60;
    r.briefing.first_line_y = 20;
    // The longer lines sit further left than the typing minigames' and the block does not slide.
    r.briefing.line_x_offset = -150;
    r.briefing.slide = 0;
    r.briefing.get_ready = false;
    r.intro_duration = 5.0f;
    r.shoot_phases = phase_bit(JUDGEMENT);
    r.typing_phases = 0;
    r.gunshot_sound = false;
    r.spectator_alert = true;
    r.log_briefing_complete = false;
    return r;
}
} // namespace

const MinigameRules RULES = make_rules();

const std::array<std::string_view, 3> INTRO_LINES{
    "Press the buttons in the same order as the robots!",
    "Watch the first robot carefully...",
    "Press SPACE when your hand aligns with the button",
};

} // namespace cog::doors

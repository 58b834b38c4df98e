// The metro's constants for the shared minigame mechanics: briefing, phases, alerts and sounds.
#include "server/screens/metro/metro_state.h"

#include <array>
#include <string_view>

namespace cog::metro {

namespace {
constexpr std::array<std::string_view, 12> COP_INTRO_LINES{
    "Overseer,",
    "Your task today is to observe the workers on their commute.",
    "All workers are installed with a gyroscope",
    "system that minimizes loss of balance.",
    "If you notice any suspicious behavior, use your",
    "company-assigned pistol to resolve the situation.",
    "Do not question how you are able to observe",
    "the workers during their commute.",
    "This is not relevant.",
    "",
    "Failure will not be tolerated.",
    "- Mr. GEARS",
};

constexpr std::array<const char*, 4> PHASE_NAMES{"INTRO", "GAMEPLAY_HIDDEN", "GAMEPLAY_VISIBLE", "SHOOTING"};

MinigameRules make_rules() {
    MinigameRules r;
    r.tag = "[METRO]";
    r.phase_names = PHASE_NAMES;
    r.intro_phase = INTRO;
    r.shooting_phase = SHOOTING;
    r.briefing.duration = 10.0f;
    r.briefing.stage1_at = 9.5f;
    r.briefing.stage2_at = 3.0f;
    r.briefing.lines = COP_INTRO_LINES;
    r.briefing.reveal_span = 3.5f;
    r.briefing.line_spacing = 60;
    r.briefing.first_line_y = 30;
    r.briefing.slide = 40;
    r.briefing.get_ready = false;
    // The practice card: the car already sways while the masked players learn the keys.
    r.intro_duration = 7.0f;
    r.intro_text = "Press Left or Right to keep your balance.\nDon't fall over, or the Overseer will notice!";
    r.shoot_phases = phase_bit(GAMEPLAY_HIDDEN) | phase_bit(GAMEPLAY_VISIBLE);
    r.typing_phases = 0;
    r.gunshot_sound = true;
    r.spectator_alert = true;
    r.watching_alert_when_dead = false;
    r.log_briefing_complete = false;
    return r;
}
} // namespace

const MinigameRules RULES = make_rules();

} // namespace cog::metro

// The password minigame's constants: briefing text and timing, phases, alerts.
#include "server/screens/password/password_state.h"

#include <array>

namespace cog::password {

namespace {
constexpr std::array<std::string_view, 16> COP_INTRO_LINES{
    "Overseer,",
    "Your task today is to observe the workers",
    "as they log into their computers.",
    "All computers operate on a multi-password system.",
    "As an added security measure,",
    "password prompts are never related",
    "to the correct password.",
    "If you notice any suspicious behavior,",
    "use your company-assigned pistol",
    "to resolve the situation.",
    "Due to company policy, you are not allowed",
    "to memorize or write down any of the",
    "passwords you see.",
    "",
    "Failure will not be tolerated.",
    "- Mr. GEARS",
};

constexpr std::array<const char*, 5> PHASE_NAMES{"INTRO", "THINKING", "TYPING", "WAITING", "SHOOTING"};

MinigameRules make_rules() {
    MinigameRules r;
    r.tag = "[PASSWORD]";
    r.title = "Password";
    r.phase_names = PHASE_NAMES;
    r.intro_phase = INTRO;
    r.shooting_phase = SHOOTING;
    r.briefing.duration = 12.0f;
    r.briefing.stage1_at = 11.5f;
    r.briefing.stage2_at = 4.0f;
    r.briefing.lines = COP_INTRO_LINES;
    r.briefing.reveal_span = 3.5f;
    r.briefing.line_spacing = 60;
    r.briefing.first_line_y = 230;
    r.briefing.get_ready_x = 520;
    r.briefing.get_ready_y = 500;
    r.intro_duration = 5.0f;
    r.intro_text = "Type in the correct password.\nToo obvious? Guess again!";
    r.shoot_phases = phase_bit(THINKING) | phase_bit(TYPING) | phase_bit(WAITING);
    r.typing_phases = phase_bit(TYPING);
    r.gunshot_sound = false;
    r.spectator_alert = false;
    r.watching_alert_when_dead = true;
    r.log_briefing_complete = false;
    r.dialect = ConsoleDialect::PASSWORD;
    return r;
}
} // namespace

const MinigameRules RULES = make_rules();

} // namespace cog::password

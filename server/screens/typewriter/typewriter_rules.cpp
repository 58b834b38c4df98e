// The typing pool's constants: briefing text and timing, phases, alerts and sounds.
#include "server/screens/typewriter/typewriter_state.h"

#include <array>

namespace cog::typewriter {

namespace {
constexpr std::array<std::string_view, 9> COP_INTRO_LINES{
    "Overseer,",
    "Your task today is to oversee the typing pool.",
    "All workers are programmed to type at 1 word per second.",
    "If you notice any suspicious behavior, use your",
    "company-assigned pistol to resolve the situation.",
    "Pay no attention to the words themselves,",
    "as they are not relevant to your task.",
    "Failure will not be tolerated.",
    "- Mr. GEARS",
};

constexpr std::array<const char*, 4> PHASE_NAMES{"INTRO", "TYPING", "WAITING", "SHOOTING"};

MinigameRules make_rules() {
    MinigameRules r;
    r.tag = "[TYPEWRITER]";
    r.title = "Typing pool";
    r.phase_names = PHASE_NAMES;
    r.intro_phase = INTRO;
    r.shooting_phase = SHOOTING;
    r.briefing.duration = 20.0f;
    r.briefing.stage1_at = 19.5f;
    r.briefing.stage2_at = 4.0f;
    r.briefing.lines = COP_INTRO_LINES;
    r.briefing.reveal_span = 11.5f;
    r.briefing.line_spacing = 55;
    r.briefing.first_line_y = 150;
    r.briefing.get_ready_x = 520;
    r.briefing.get_ready_y = 600;
    // The card exists but stays unreachable: INTRO ends in the first update.
    r.intro_duration = 0;
    r.intro_text = "Type the words that show up on-screen.\nBe careful about your typing speed!";
    r.shoot_phases = phase_bit(TYPING) | phase_bit(WAITING);
    r.typing_phases = phase_bit(TYPING) | phase_bit(WAITING);
    r.gunshot_sound = true;
    r.spectator_alert = true;
    r.watching_alert_when_dead = false;
    r.log_briefing_complete = true;
    r.dialect = ConsoleDialect::TYPING_POOL;
    return r;
}
} // namespace

const MinigameRules RULES = make_rules();

} // namespace cog::typewriter

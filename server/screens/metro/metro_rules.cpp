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

} // namespace

// The practice card is the metro's own (the car already sways while the masked players learn the
// keys), so the shared intro text stays empty; the briefing slides less and has no "GET READY...".
const MinigameRules RULES{
    .tag = "[METRO]",
    .title = "Metro",
    .phase_names = PHASE_NAMES,
    .intro_phase = INTRO,
    .shooting_phase = SHOOTING,
    .briefing = {.duration = 10.0f, .stage1_at = 9.5f, .stage2_at = 3.0f, .lines = COP_INTRO_LINES,
                 .reveal_span = 3.5f, .line_spacing = 60, .first_line_y = 30, .slide = 40, .get_ready = false},
    .intro_duration = 7.0f,
    .intro_text = "",
    .shoot_phases = phase_bit(GAMEPLAY_HIDDEN) | phase_bit(GAMEPLAY_VISIBLE),
    .gunshot_sound = true,
    .spectator_alert = true,
};

} // namespace cog::metro

// The per-minigame numbers and switches that the shared minigame mechanics read.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace cog {

// The typing pool and the password word some diagnostic lines differently.
enum class ConsoleDialect { TYPING_POOL, PASSWORD };

// The Overseer's timed briefing card.
struct BriefingLayout {
    float duration = 0;        // cop_intro_timer at create, seconds
    float stage1_at = 0;       // timer value (s) at which the lines start appearing
    float stage2_at = 0;       // timer value (s) at which "GET READY..." shows
    std::span<const std::string_view> lines;
    float reveal_span = 0;     // seconds over which all lines appear
    float line_spacing = 0;    // px between lines
    float first_line_y = 0;    // px
    float line_x_offset = -80; // px added to the centred x of each line
    float slide = 60;          // px the block moves up during the reveal span
    bool get_ready = true;     // "GET READY..." is drawn in stage 2
    float get_ready_x = 0, get_ready_y = 0; // px
};

constexpr uint32_t phase_bit(int64_t phase) { return 1u << phase; }

struct MinigameRules {
    const char* tag = "";                   // console prefix such as "[TYPEWRITER]"
    const char* title = "";                 // the players' name for it, e.g. "Typing pool"
    std::span<const char* const> phase_names; // indexed by GamePhase
    int64_t intro_phase = 0;
    int64_t shooting_phase = 0;
    BriefingLayout briefing;
    float intro_duration = 0;               // intro_timer at create, seconds
    std::string_view intro_text;            // masked players' intro card
    uint32_t shoot_phases = 0;              // phase_bit set of phases the Overseer may shoot in
    uint32_t typing_phases = 0;             // phase_bit set of phases that accept letters
    bool gunshot_sound = false;             // stop_music then SFX_GUNSHOT at the shot
    bool spectator_alert = false;           // dead viewers get the purple frame
    bool watching_alert_when_dead = false;  // dead masked viewers still get the red frame
    bool log_briefing_complete = false;     // prints "<tag> COP intro complete"
    ConsoleDialect dialect = ConsoleDialect::TYPING_POOL;
};

const char* phase_name(const MinigameRules& rules, int64_t phase);

} // namespace cog

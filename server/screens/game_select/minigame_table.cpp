// The die's minigame table and the screen display names.
#include "server/screens/game_select/minigame_table.h"

#include <array>

namespace cog {

ScreenId minigame_for_face(int32_t face) {
    switch (face) {
    case 2: return ScreenId::DOORS;
    case 3: return ScreenId::METRO;
    default: return ScreenId::TYPEWRITER;
    }
}

const char* screen_display_name(ScreenId id) {
    static constexpr std::array<const char*, 7> names = {
        "LOBBY", "", "ROLE REVEAL", "GAME SELECT", "Typing Pool", "Door Memorization", "Metro Commute",
    };
    const auto index = static_cast<int64_t>(id);
    return index >= 0 && index < static_cast<int64_t>(names.size()) ? names[static_cast<size_t>(index)] : "";
}

} // namespace cog

// Which minigame each die face launches, and the names shown and logged for screens.
#pragma once

#include "server/screens/screen/screen.h"

namespace cog {

// Face 1..3 -> TYPEWRITER, DOORS, METRO.
ScreenId minigame_for_face(int32_t face);

// On-screen name of a screen: "Typing Pool", ...; empty for CRAWL and anything past METRO.
const char* screen_display_name(ScreenId id);

} // namespace cog

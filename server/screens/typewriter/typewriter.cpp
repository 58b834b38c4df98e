// Stand-in until this screen is built.
#include "server/screens/screen/placeholder_screen.h"
#include "server/screens/screen/screen_kinds.h"

namespace cog {

std::unique_ptr<ScreenProcs> create_typewriter(Random&) { return std::make_unique<PlaceholderScreen>("typewriter"); }

} // namespace cog

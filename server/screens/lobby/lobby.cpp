// Stand-in until this screen is built.
#include "server/screens/screen/placeholder_screen.h"
#include "server/screens/screen/screen_kinds.h"

namespace cog {

std::unique_ptr<ScreenProcs> create_lobby() { return std::make_unique<PlaceholderScreen>("lobby"); }

} // namespace cog

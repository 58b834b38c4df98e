// Stand-in until this screen is built.
#include "server/screens/screen/placeholder_screen.h"
#include "server/screens/screen/screen_kinds.h"

namespace cog {

std::unique_ptr<ScreenProcs> create_crawl() { return std::make_unique<PlaceholderScreen>("crawl"); }

} // namespace cog

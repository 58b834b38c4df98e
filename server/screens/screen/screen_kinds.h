// Constructors of each screen kind's state record, as the registry calls them.
#pragma once

#include "server/screens/screen/screen.h"

#include <memory>

namespace cog {

std::unique_ptr<ScreenProcs> create_lobby();
std::unique_ptr<ScreenProcs> create_crawl();
std::unique_ptr<ScreenProcs> create_role_reveal();
std::unique_ptr<ScreenProcs> create_game_select();
std::unique_ptr<ScreenProcs> create_typewriter(Random& random);
std::unique_ptr<ScreenProcs> create_doors(Random& random);
std::unique_ptr<ScreenProcs> create_metro();
std::unique_ptr<ScreenProcs> create_password(Random& random);
std::unique_ptr<ScreenProcs> create_end();

} // namespace cog

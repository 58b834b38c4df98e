// The back-story text of the intro crawl, one entry per line; empty entries are gaps.
#pragma once

#include <array>
#include <string_view>

namespace cog {

inline constexpr int CRAWL_LINE_COUNT = 44;

extern const std::array<std::string_view, CRAWL_LINE_COUNT> CRAWL_STORY;

} // namespace cog

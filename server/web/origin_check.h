// Which pages may open a WebSocket to the host: its own page, native clients (which send no
// Origin), and the origins the operator allowed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cog::web {

// Allows any origin when given in the allowed list.
inline constexpr std::string_view ANY_ORIGIN = "*";

// `origin` and `host` are the request's Origin and Host headers (empty when absent); `allowed`
// holds origins such as "https://play.example.org" (compared without case or a trailing slash).
bool origin_allowed(std::string_view origin, std::string_view host, const std::vector<std::string>& allowed);

} // namespace cog::web

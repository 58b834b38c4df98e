// Comparing a WebSocket's Origin with the page's own host and the allowed origins.
#include "server/web/origin_check.h"

#include <algorithm>
#include <cctype>

namespace cog::web {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string normalized_origin(std::string_view origin) {
    std::string out = lower(origin);
    while (!out.empty() && out.back() == '/') out.pop_back();
    return out;
}

// "host:port" without the port the scheme implies, which browsers leave out of both headers.
std::string authority_without_default_port(std::string authority, std::string_view default_port) {
    const size_t colon = authority.rfind(':');
    if (colon != std::string::npos && colon > 0 && std::string_view(authority).substr(colon + 1) == default_port)
        authority.resize(colon);
    return authority;
}

// The page's own origin: same scheme-less host and port as the request's Host header.
bool same_host(const std::string& origin, std::string_view host) {
    std::string_view default_port;
    std::string authority;
    for (const auto& [scheme, port] : {std::pair<std::string_view, std::string_view>{"http://", "80"}, {"https://", "443"}}) {
        if (!origin.starts_with(scheme)) continue;
        authority = origin.substr(scheme.size());
        default_port = port;
    }
    if (authority.empty() || host.empty() || authority.find('/') != std::string::npos) return false;
    return authority_without_default_port(authority, default_port) ==
           authority_without_default_port(lower(host), default_port);
}

} // namespace

bool origin_allowed(std::string_view origin, std::string_view host, const std::vector<std::string>& allowed) {
    if (origin.empty()) return true;
    const std::string normalized = normalized_origin(origin);
    for (const std::string& entry : allowed)
        if (entry == ANY_ORIGIN || normalized_origin(entry) == normalized) return true;
    return same_host(normalized, host);
}

} // namespace cog::web

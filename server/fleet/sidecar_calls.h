// The fleet manager sidecar's REST calls this host makes, declared once: method and path of each.
#pragma once

#include <cstdint>
#include <string_view>

namespace cog {

// Where the sidecar listens when its environment does not say.
inline constexpr uint16_t DEFAULT_SIDECAR_PORT = 9358;

enum class SidecarCall : uint8_t { READY, HEALTH, LABEL, PLAYER_CONNECT, PLAYER_DISCONNECT, SHUTDOWN };

struct SidecarCallSpec {
    SidecarCall call;
    std::string_view method;
    std::string_view path;
};

inline constexpr SidecarCallSpec SIDECAR_CALLS[] = {
    {SidecarCall::READY, "POST", "/ready"},
    {SidecarCall::HEALTH, "POST", "/health"},
    {SidecarCall::LABEL, "PUT", "/metadata/label"},
    {SidecarCall::PLAYER_CONNECT, "POST", "/alpha/player/connect"},
    {SidecarCall::PLAYER_DISCONNECT, "POST", "/alpha/player/disconnect"},
    {SidecarCall::SHUTDOWN, "POST", "/shutdown"},
};

constexpr const SidecarCallSpec& sidecar_call_spec(SidecarCall call) {
    return SIDECAR_CALLS[static_cast<size_t>(call)];
}

} // namespace cog

// The fleet manager sidecar's REST calls this host makes, declared once: method and path of each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace cog {

// Where the sidecar listens when its environment does not say.
inline constexpr uint16_t DEFAULT_SIDECAR_PORT = 9358;

enum class SidecarCall : uint8_t { READY, HEALTH, LABEL, LIST_ADD, LIST_REMOVE, SHUTDOWN, GAMESERVER };

// The List calls moved from the alpha to the beta API as Agones matured; the other calls have
// one path in every version.
enum class ListApi : uint8_t { BETA, ALPHA };

struct SidecarCallSpec {
    SidecarCall call;
    std::string_view method;
    std::string_view path;       // under the beta API for the List calls
    std::string_view alpha_path; // the same call under the alpha API; empty: no difference
    std::string_view name;       // for the log
};

inline constexpr SidecarCallSpec SIDECAR_CALLS[] = {
    {SidecarCall::READY, "POST", "/ready", "", "ready"},
    {SidecarCall::HEALTH, "POST", "/health", "", "health"},
    {SidecarCall::LABEL, "PUT", "/metadata/label", "", "label"},
    {SidecarCall::LIST_ADD, "POST", "/v1beta1/lists/players:addValue", "/v1alpha1/lists/players:addValue",
     "player list add"},
    {SidecarCall::LIST_REMOVE, "POST", "/v1beta1/lists/players:removeValue", "/v1alpha1/lists/players:removeValue",
     "player list remove"},
    {SidecarCall::SHUTDOWN, "POST", "/shutdown", "", "shutdown"},
    {SidecarCall::GAMESERVER, "GET", "/gameserver", "", "game server state"},
};
inline constexpr size_t SIDECAR_CALL_KINDS = std::size(SIDECAR_CALLS);

constexpr const SidecarCallSpec& sidecar_call_spec(SidecarCall call) {
    return SIDECAR_CALLS[static_cast<size_t>(call)];
}

constexpr std::string_view sidecar_call_path(SidecarCall call, ListApi api) {
    const SidecarCallSpec& spec = sidecar_call_spec(call);
    return api == ListApi::ALPHA && !spec.alpha_path.empty() ? spec.alpha_path : spec.path;
}

// "v1beta1" / "v1alpha1", the words the option takes.
constexpr std::string_view list_api_name(ListApi api) { return api == ListApi::ALPHA ? "v1alpha1" : "v1beta1"; }

} // namespace cog

// One warning line per kind of refused call and interval.
#include "server/fleet/refusal_warnings.h"

#include "shared/log/log.h"
#include "shared/log/printable.h"

namespace cog {

void RefusalWarnings::note(const SidecarOutcome& refused, int64_t now_ns) {
    Kind& kind = kinds_[static_cast<size_t>(refused.call)];
    if (kind.warned_ns >= 0 && now_ns - kind.warned_ns < interval_ns_) {
        ++kind.unwarned;
        return;
    }
    const std::string name(sidecar_call_spec(refused.call).name);
    // The body is the sidecar's, but it is quoted as any outside text is: escaped and cut.
    const std::string body = printable(refused.body);
    const std::string since =
        kind.unwarned > 0 ? " (and " + std::to_string(kind.unwarned) + " more since the last warning)" : "";
    if (refused.status == 0)
        LOG_WARN("[FLEET] The sidecar did not answer the %s call%s", name.c_str(), since.c_str());
    else
        LOG_WARN("[FLEET] The sidecar refused the %s call: %ld %s%s", name.c_str(), refused.status, body.c_str(),
                 since.c_str());
    kind.warned_ns = now_ns;
    kind.unwarned = 0;
}

} // namespace cog

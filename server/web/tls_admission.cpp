// Token buckets per address and per frame for a TLS web port.
#include "server/web/tls_admission.h"

#include "shared/platform/own_machine.h"

#include <algorithm>

namespace cog::web {

bool TokenBucket::take(double capacity, double per_period, int64_t period_us, int64_t now_us) {
    if (!started) tokens = capacity;
    else if (now_us > filled_us)
        tokens = std::min(capacity, tokens + per_period * double(now_us - filled_us) / double(period_us));
    filled_us = now_us;
    started = true;
    if (tokens < 1) return false;
    tokens -= 1;
    return true;
}

TlsRefusal TlsAdmission::admits_socket(const std::string& address, int64_t now_us) {
    if (per_address_second_ != 0 && !is_own_machine(address)) {
        // Buckets that would be full again are the same as none: forgotten every few seconds, so
        // addresses seen once do not pile up.
        if (now_us - swept_us_ > int64_t{TLS_BURST_SECONDS} * 1'000'000) {
            std::erase_if(addresses_, [&](const auto& entry) {
                return now_us - entry.second.filled_us > int64_t{TLS_BURST_SECONDS} * 1'000'000;
            });
            swept_us_ = now_us;
        }
        const double capacity = double(per_address_second_) * TLS_BURST_SECONDS;
        if (!addresses_[address].take(capacity, per_address_second_, 1'000'000, now_us)) return TlsRefusal::AddressRate;
    }
    return sockets_.take(TLS_SOCKET_BURST, TLS_SOCKETS_PER_FRAME, FRAME_US, now_us) ? TlsRefusal::None
                                                                                    : TlsRefusal::FrameBudget;
}

bool TlsAdmission::admits_handshake(int64_t now_us) {
    return handshakes_.take(TLS_HANDSHAKE_BURST, TLS_HANDSHAKES_PER_FRAME, FRAME_US, now_us);
}

} // namespace cog::web

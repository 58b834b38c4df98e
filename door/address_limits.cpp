// Per-address rates and counts.
#include "door/address_limits.h"

#include "shared/platform/own_machine.h"

#include <algorithm>

namespace cog::door {

namespace {
// Addresses remembered before those back at a full budget are forgotten (they hold nothing).
constexpr size_t FORGET_AT = 4096;
} // namespace

void AddressRate::refill(Bucket& bucket, int64_t now_ms) const {
    const double per_ms = static_cast<double>(burst_) / static_cast<double>(std::max<int64_t>(period_ms_, 1));
    bucket.tokens = std::min<double>(burst_, bucket.tokens + per_ms * static_cast<double>(now_ms - bucket.updated_ms));
    bucket.updated_ms = now_ms;
}

void AddressRate::forget_full(int64_t now_ms) {
    for (auto it = buckets_.begin(); it != buckets_.end();) {
        refill(it->second, now_ms);
        it = it->second.tokens >= burst_ ? buckets_.erase(it) : std::next(it);
    }
}

bool AddressRate::take(std::string_view address, int64_t now_ms) {
    if (burst_ <= 0 || is_own_machine(address)) return true;
    if (buckets_.size() >= FORGET_AT) forget_full(now_ms);
    auto [it, fresh] = buckets_.try_emplace(std::string(address), Bucket{static_cast<double>(burst_), now_ms});
    if (!fresh) refill(it->second, now_ms);
    if (it->second.tokens < 1.0) return false;
    it->second.tokens -= 1.0;
    return true;
}

bool AddressCount::try_add(const std::string& address) {
    if (is_own_machine(address)) return true;
    int& held = counts_[address];
    if (limit_ > 0 && held >= limit_) {
        if (held == 0) counts_.erase(address);
        return false;
    }
    ++held;
    return true;
}

void AddressCount::remove(const std::string& address) {
    if (is_own_machine(address)) return;
    auto it = counts_.find(address);
    if (it == counts_.end()) return;
    if (--it->second <= 0) counts_.erase(it);
}

int AddressCount::count(const std::string& address) const {
    auto it = counts_.find(address);
    return it == counts_.end() ? 0 : it->second;
}

} // namespace cog::door

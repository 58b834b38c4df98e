// The per-address allowance of new seats, refilled with time.
#include "server/seats/new_seat_rate.h"

#include "shared/platform/own_machine.h"

#include <algorithm>

namespace cog {

namespace {

constexpr int64_t FULL_MILLI_SEATS = int64_t{NEW_SEATS_BURST} * 1000;
constexpr int64_t SECONDS_TO_FILL_NS = int64_t{NEW_SEATS_BURST} * 1'000'000'000 / NEW_SEATS_PER_SECOND;

int64_t refilled(const NewSeatRate::Allowance& allowance, int64_t now_ns) {
    const int64_t elapsed_ns = std::clamp<int64_t>(now_ns - allowance.refilled_ns, 0, SECONDS_TO_FILL_NS);
    return std::min(FULL_MILLI_SEATS, allowance.milli_seats + elapsed_ns * NEW_SEATS_PER_SECOND / 1'000'000);
}

// Addresses that are full again hold nothing worth keeping; the map stays small whatever the
// number of addresses that ever joined.
void forget_full_addresses(NewSeatRate& rate, int64_t now_ns) {
    std::erase_if(rate.by_address, [&](const auto& entry) { return refilled(entry.second, now_ns) == FULL_MILLI_SEATS; });
}

} // namespace

bool take_new_seat(NewSeatRate& rate, const std::string& address, int64_t now_ns) {
    if (!rate.enabled || address.empty() || is_own_machine(address)) return true;
    if (rate.by_address.size() >= MAX_NEW_SEAT_ADDRESSES && !rate.by_address.contains(address))
        forget_full_addresses(rate, now_ns);
    // Still full of addresses that are all drawing on their allowance: a newcomer is refused
    // rather than letting the map grow without bound.
    if (rate.by_address.size() >= MAX_NEW_SEAT_ADDRESSES && !rate.by_address.contains(address)) return false;
    NewSeatRate::Allowance& allowance =
        rate.by_address.try_emplace(address, NewSeatRate::Allowance{FULL_MILLI_SEATS, now_ns}).first->second;
    allowance.milli_seats = refilled(allowance, now_ns);
    allowance.refilled_ns = now_ns;
    if (allowance.milli_seats < 1000) return false;
    allowance.milli_seats -= 1000;
    return true;
}

} // namespace cog

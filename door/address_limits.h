// Per-address budgets of the door: a rate (so many per period, refilled evenly) and a count of
// what an address holds at once. This machine's own address is never limited.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cog::door {

// At most `burst` events at once, refilled at `burst` per `period_ms`; 0 `burst`: no limit.
class AddressRate {
public:
    AddressRate(int burst, int64_t period_ms) : burst_(burst), period_ms_(period_ms) {}
    // Takes one event for `address` at `now_ms`; false (and nothing taken) when its budget is spent.
    bool take(std::string_view address, int64_t now_ms);
    size_t tracked() const { return buckets_.size(); }

private:
    struct Bucket {
        double tokens = 0;
        int64_t updated_ms = 0;
    };
    void refill(Bucket& bucket, int64_t now_ms) const;
    void forget_full(int64_t now_ms);

    int burst_;
    int64_t period_ms_;
    std::unordered_map<std::string, Bucket> buckets_;
};

// What each address holds at once (sockets); 0 `limit`: no limit.
class AddressCount {
public:
    explicit AddressCount(int limit) : limit_(limit) {}
    bool try_add(const std::string& address);
    void remove(const std::string& address);
    int count(const std::string& address) const;

private:
    int limit_;
    std::unordered_map<std::string, int> counts_;
};

} // namespace cog::door

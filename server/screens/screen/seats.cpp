// Dealing seat numbers and reading them back.
#include "server/screens/screen/seats.h"

#include "shared/log/log.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace cog {

void deal_seats(GlobalState& global, Random& random) {
    global.seats.clear();
    std::vector<uint32_t> ids;
    for (const auto& [id, player] : global.players)
        if (is_seated(player)) ids.push_back(id);
    std::vector<uint32_t> numbers(ids.size());
    std::iota(numbers.begin(), numbers.end(), 1u);
    // Fisher-Yates from the back: every order of the numbers is equally likely.
    for (size_t i = numbers.size(); i > 1; --i)
        std::swap(numbers[i - 1], numbers[static_cast<size_t>(random.pick(static_cast<int>(i)))]);
    for (size_t k = 0; k < ids.size(); ++k) {
        global.seats[ids[k]] = numbers[k];
        LOG_INFO("Player %u takes seat %u", ids[k], numbers[k]);
    }
}

void seat_newcomer(GlobalState& global, uint32_t id, uint32_t used_up_to) {
    if (global.seats.empty() || global.seats.contains(id)) return;
    uint32_t highest = used_up_to;
    for (const auto& entry : global.seats) highest = std::max(highest, entry.second);
    global.seats[id] = highest + 1;
    LOG_INFO("Player %u takes seat %u", id, highest + 1);
}

uint32_t seat_of(const GlobalState& global, uint32_t id) {
    auto it = global.seats.find(id);
    return it == global.seats.end() ? 0 : it->second;
}

uint32_t shown_number(const GlobalState& global, uint32_t id) {
    const uint32_t seat = seat_of(global, id);
    return seat != 0 ? seat : id;
}

int32_t seat_mask(uint32_t seat, uint32_t mask_offset) {
    return static_cast<int32_t>((seat - 1u + mask_offset) % 8u);
}

int32_t worn_mask(const GlobalState& global, uint32_t id) {
    if (const uint32_t seat = seat_of(global, id)) return seat_mask(seat, global.mask_offset);
    const PlayerConnection* player = find_player(global, id);
    return player ? player->mask : 0;
}

bool seated_before(const GlobalState& global, uint32_t a, uint32_t b) {
    const uint32_t sa = seat_of(global, a), sb = seat_of(global, b);
    if ((sa == 0) != (sb == 0)) return sa != 0;
    if (sa != sb) return sa < sb;
    return a < b;
}

void sort_by_seat(const GlobalState& global, std::vector<uint32_t>& ids) {
    std::sort(ids.begin(), ids.end(), [&](uint32_t a, uint32_t b) { return seated_before(global, a, b); });
}

} // namespace cog

// Seat numbers: dealt at random when a game starts, they order, label and mask the figures, so
// that nothing drawn tells a human from a robot.
#pragma once

#include "server/screens/screen/global_state.h"

#include <cstdint>
#include <vector>

namespace cog {

// Deals every seated player, bots included, a seat number 1..N in an order drawn from `random`.
// Earlier seats are forgotten.
void deal_seats(GlobalState& global, Random& random);

// A player arriving in a dealt game without a seat takes the number after the highest one (and
// after `used_up_to`, numbers a screen has given figures of its own), so that no two figures
// share a label. Nothing outside a dealt game or for a player with a seat.
void seat_newcomer(GlobalState& global, uint32_t id, uint32_t used_up_to = 0);

// The player's seat number, or 0 when none was dealt to that id.
uint32_t seat_of(const GlobalState& global, uint32_t id);

// The number a figure is labelled with: the seat number, or the id for a player dealt none.
uint32_t shown_number(const GlobalState& global, uint32_t id);

// The mask a seat wears: (seat − 1 + mask_offset) mod 8, the same rule for humans and robots.
int32_t seat_mask(uint32_t seat, uint32_t mask_offset);

// The mask a figure wears: its seat's, else the one its record got at creation (0 without one).
int32_t worn_mask(const GlobalState& global, uint32_t id);

// True when `a` is laid out before `b`: by seat number, players without a seat after every
// seated one and among themselves by id.
bool seated_before(const GlobalState& global, uint32_t a, uint32_t b);

// Puts `ids` in seat order.
void sort_by_seat(const GlobalState& global, std::vector<uint32_t>& ids);

// The keys of an id-keyed table, in seat order.
template <class Table>
std::vector<uint32_t> ids_in_seat_order(const GlobalState& global, const Table& table) {
    std::vector<uint32_t> ids;
    ids.reserve(table.size());
    for (const auto& entry : table) ids.push_back(entry.first);
    sort_by_seat(global, ids);
    return ids;
}

} // namespace cog

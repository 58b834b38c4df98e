// Who may take a human seat. Every seat has a reconnection secret that only the client holding it
// learns (in its INIT); a seat last taken by a client that keeps its secret goes back only to that
// secret. Id and name alone, which every client sees, take back only the seats of clients that
// know nothing of secrets. And one network address holds only so many seats at once.
#pragma once

#include "server/seats/new_seat_rate.h"
#include "server/seats/secret_token.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace cog {

struct SeatClaim {
    std::string secret;            // lower-case hex; empty when the random source failed
    bool holder_keeps_secret = false; // the last client to take the seat presented a secret field
};

struct SeatClaims {
    FillRandomBytes fill = fill_from_os; // the random source of the secrets
    // Seated humans one address may hold at once; 0: no limit. A household or a classroom behind
    // one address fits; a script seating hundreds of players, slowing everyone's pictures, does not.
    uint32_t max_per_address = 16;
    NewSeatRate new_seats; // how fast one address may take new seats; off with the limit above
    // Refusals for the limit are logged at most once a second, the others counted in the next line.
    size_t refusals_unlogged = 0;
    std::optional<int64_t> refusal_logged_ns; // monotonic time of the last such line
    std::map<uint32_t, SeatClaim> by_id; // human seats, for as long as their records last
};

// What a login presented for the seat it asked for, as a recording keeps it: never the secret
// itself, only how it compared.
enum class PresentedSecret : uint8_t {
    Absent,  // the client knows nothing of secrets
    Empty,   // it keeps secrets but has none for this seat
    Matching,
    Wrong,
};

PresentedSecret compare_secret(const SeatClaims& claims, uint32_t id, const std::optional<std::string>& offered);

// A returning login passes this test when the seat is its own to take: the matching secret, or a
// seat whose holder keeps no secret (left to the caller's other checks).
bool seat_open_to(const SeatClaims& claims, uint32_t id, PresentedSecret presented);

// A new seat: draws its secret. An empty secret (no random source) leaves the seat to id and name.
const SeatClaim& open_seat(SeatClaims& claims, uint32_t id);

// The seat was taken by a login that presented `presented`.
void note_holder(SeatClaims& claims, uint32_t id, PresentedSecret presented);

// The secret for the seat's INIT; nullopt when it has none.
std::optional<std::string_view> seat_secret(const SeatClaims& claims, uint32_t id);

void forget_seat(SeatClaims& claims, uint32_t id);

} // namespace cog

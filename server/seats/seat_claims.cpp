// Reconnection secrets: drawn for each new seat, compared in constant time.
#include "server/seats/seat_claims.h"

#include "shared/log/log.h"

#include <cstring>

namespace cog {

PresentedSecret compare_secret(const SeatClaims& claims, uint32_t id, const std::optional<std::string>& offered) {
    if (!offered) return PresentedSecret::Absent;
    if (offered->empty()) return PresentedSecret::Empty;
    const auto seat = claims.by_id.find(id);
    if (seat != claims.by_id.end() && secret_token_matches(seat->second.secret, *offered)) return PresentedSecret::Matching;
    return PresentedSecret::Wrong;
}

bool seat_open_to(const SeatClaims& claims, uint32_t id, PresentedSecret presented) {
    if (presented == PresentedSecret::Matching) return true;
    const auto seat = claims.by_id.find(id);
    return seat == claims.by_id.end() || !seat->second.holder_keeps_secret;
}

const SeatClaim& open_seat(SeatClaims& claims, uint32_t id) {
    SeatClaim& seat = claims.by_id[id] = SeatClaim{};
    SecretToken token = make_secret_token(claims.fill);
    if (token.error == SecretTokenError::None) seat.secret = std::move(token.text);
    else LOG_ERROR("Cannot make the reconnection secret of player %u (%s)", id, std::strerror(token.os_error));
    return seat;
}

void note_holder(SeatClaims& claims, uint32_t id, PresentedSecret presented) {
    const auto seat = claims.by_id.find(id);
    // A seat without a secret has nothing to keep: it stays open to id and name.
    if (seat != claims.by_id.end())
        seat->second.holder_keeps_secret = presented != PresentedSecret::Absent && !seat->second.secret.empty();
}

std::optional<std::string_view> seat_secret(const SeatClaims& claims, uint32_t id) {
    const auto seat = claims.by_id.find(id);
    if (seat == claims.by_id.end() || seat->second.secret.empty()) return std::nullopt;
    return seat->second.secret;
}

void forget_seat(SeatClaims& claims, uint32_t id) { claims.by_id.erase(id); }

} // namespace cog

// The room's admin token: a secret made at start-up from the operating system's random source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace cog {

// Random bytes behind a token; shown as twice as many hex digits.
inline constexpr size_t ADMIN_TOKEN_BYTES = 16;

enum class AdminTokenError : uint8_t { None, NoRandomSource };

struct AdminToken {
    std::string text; // lower-case hex; empty on failure
    AdminTokenError error = AdminTokenError::None;
    int os_error = 0; // errno of the failed read, for the log
};

// Fills `bytes` completely or returns the errno of the failure (0 on success). The default reads
// getrandom(2); tests hand in a failing one.
using FillRandomBytes = int (*)(std::span<unsigned char> bytes);
int fill_from_os(std::span<unsigned char> bytes);

AdminToken make_admin_token(FillRandomBytes fill = fill_from_os);

// Compares without stopping at the first differing byte, so the time taken tells a guesser
// nothing about how much of a guess was right. An empty token matches nothing.
bool admin_token_matches(std::string_view token, std::string_view offered);

// A command line that may hold a token: "admin" in any case, whatever follows it ("admin\t<token>"
// is no claim, but its bytes are still the secret). Never logged or recorded as it came.
bool may_carry_admin_token(std::string_view line);

} // namespace cog

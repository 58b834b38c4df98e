// Secrets made from the operating system's random source: the room's admin token and each seat's
// reconnection secret.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace cog {

// Random bytes behind a token; shown as twice as many hex digits.
inline constexpr size_t SECRET_TOKEN_BYTES = 16;

enum class SecretTokenError : uint8_t { None, NoRandomSource };

struct SecretToken {
    std::string text; // lower-case hex; empty on failure
    SecretTokenError error = SecretTokenError::None;
    int os_error = 0; // errno of the failed read, for the log
};

// Fills `bytes` completely or returns the errno of the failure (0 on success). The default reads
// getrandom(2); tests hand in a failing one.
using FillRandomBytes = int (*)(std::span<unsigned char> bytes);
int fill_from_os(std::span<unsigned char> bytes);

SecretToken make_secret_token(FillRandomBytes fill = fill_from_os);

// Compares without stopping at the first differing byte, so the time taken tells a guesser
// nothing about how much of a guess was right. An empty token matches nothing. With
// `bytes_compared`, adds the number of byte pairs looked at: a wrong guess of the right length
// costs as many as the right one.
bool secret_token_matches(std::string_view token, std::string_view offered, size_t* bytes_compared = nullptr);

// A command line that may hold a token: "admin" in any case, whatever follows it ("admin\t<token>"
// is no claim, but its bytes are still the secret). Never logged or recorded as it came.
bool may_carry_admin_token(std::string_view line);

// `line` with every occurrence of `secret` (in any case) replaced by "***": a token typed with a
// stray character before "admin", after another command or on its own is still the secret.
std::string without_secret(std::string_view line, std::string_view secret);

} // namespace cog

// Making and checking secret tokens.
#include "server/seats/secret_token.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <sys/random.h>

namespace cog {

int fill_from_os(std::span<unsigned char> bytes) {
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        filled += static_cast<size_t>(n);
    }
    return 0;
}

SecretToken make_secret_token(FillRandomBytes fill) {
    unsigned char bytes[SECRET_TOKEN_BYTES];
    SecretToken token;
    if (const int error = fill(std::span<unsigned char>(bytes)); error != 0) {
        token.error = SecretTokenError::NoRandomSource;
        token.os_error = error;
        return token;
    }
    static constexpr char HEX[] = "0123456789abcdef";
    token.text.reserve(2 * SECRET_TOKEN_BYTES);
    for (const unsigned char byte : bytes) {
        token.text += HEX[byte >> 4];
        token.text += HEX[byte & 0xF];
    }
    return token;
}

bool may_carry_admin_token(std::string_view line) {
    constexpr std::string_view word = "admin";
    if (line.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if ((line[i] | 0x20) != word[i]) return false;
    return true;
}

std::string without_secret(std::string_view line, std::string_view secret) {
    std::string out;
    if (secret.empty()) return out.assign(line);
    const auto same_letter = [](char a, char b) { return (a | 0x20) == (b | 0x20) && std::isalnum(static_cast<unsigned char>(a)); };
    size_t copied = 0;
    for (size_t at = 0; at + secret.size() <= line.size();) {
        if (!std::equal(secret.begin(), secret.end(), line.begin() + at, same_letter)) {
            ++at;
            continue;
        }
        out.append(line.substr(copied, at - copied)).append("***");
        at += secret.size();
        copied = at;
    }
    return out.append(line.substr(copied));
}

bool secret_token_matches(std::string_view token, std::string_view offered, size_t* bytes_compared) {
    if (token.empty() || offered.size() != token.size()) return false;
    unsigned char difference = 0;
    size_t i = 0;
    for (; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(token[i] ^ offered[i]);
    if (bytes_compared) *bytes_compared += i;
    return difference == 0;
}

} // namespace cog

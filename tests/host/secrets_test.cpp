// The secrets that protect seats and the room: every digit drawn, compared in constant work.
#include "server/seats/secret_token.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

namespace cog::test {
namespace {

constexpr size_t DIGITS = 2 * SECRET_TOKEN_BYTES;

// A thousand secrets: 32 lower-case hex digits each, every digit seen in every place, and no
// place a copy of its neighbour (each digit carries its own four bits of randomness).
TEST(Secrets, EveryPlaceOfEverySecretIsRandom) {
    std::array<std::set<char>, DIGITS> seen;
    std::array<int, DIGITS - 1> same_as_next{};
    std::set<std::string> distinct;
    for (int i = 0; i < 1000; ++i) {
        const SecretToken token = make_secret_token();
        ASSERT_EQ(token.error, SecretTokenError::None);
        ASSERT_EQ(token.text.size(), DIGITS);
        ASSERT_EQ(token.text.find_first_not_of("0123456789abcdef"), std::string::npos) << token.text;
        for (size_t place = 0; place < DIGITS; ++place) {
            seen[place].insert(token.text[place]);
            if (place + 1 < DIGITS) same_as_next[place] += token.text[place] == token.text[place + 1];
        }
        distinct.insert(token.text);
    }
    EXPECT_EQ(distinct.size(), 1000u);
    for (size_t place = 0; place < DIGITS; ++place) {
        EXPECT_EQ(seen[place].size(), 16u) << "place " << place;
        // About 1 in 16 by chance (62 of 1000); a copied half would make it every one.
        if (place + 1 < DIGITS) EXPECT_LT(same_as_next[place], 200) << "place " << place;
    }
}

// A guess wrong in its first digit costs the comparison as much as one wrong only in its last,
// or the right one: its time tells nothing of how much was right.
TEST(Secrets, AComparisonLooksAtEveryByteWhereverTheGuessGoesWrong) {
    const std::string token = make_secret_token().text;
    ASSERT_EQ(token.size(), DIGITS);
    std::string first_wrong = token, last_wrong = token;
    first_wrong[0] = token[0] == 'a' ? 'b' : 'a';
    last_wrong[DIGITS - 1] = token[DIGITS - 1] == 'a' ? 'b' : 'a';
    for (const std::string& guess : {first_wrong, last_wrong, std::string(DIGITS, 'z'), token}) {
        size_t compared = 0;
        EXPECT_EQ(secret_token_matches(token, guess, &compared), guess == token);
        EXPECT_EQ(compared, DIGITS) << guess;
    }
    EXPECT_FALSE(secret_token_matches("", ""));
    EXPECT_FALSE(secret_token_matches(token, token.substr(1)));
}

} // namespace
} // namespace cog::test

// Reading a browser's permessage-deflate offer: the host compresses with the window it names.
#include "server/web/deflate_offer.h"

#include <gtest/gtest.h>

namespace cog::web {
namespace {

TEST(DeflateOffer, TheWindowAndContextOfTheFirstOfferAreReadHoweverTheyAreWritten) {
    EXPECT_EQ(first_deflate_offer("permessage-deflate; client_max_window_bits").server_max_window_bits, 15);
    EXPECT_EQ(first_deflate_offer("permessage-deflate;server_max_window_bits=10").server_max_window_bits, 10);
    EXPECT_EQ(first_deflate_offer("permessage-deflate; server_max_window_bits = 9 ").server_max_window_bits, 9);
    EXPECT_EQ(first_deflate_offer("permessage-deflate; server_max_window_bits=\"8\"").server_max_window_bits, 8);
    EXPECT_EQ(first_deflate_offer("permessage-deflate; server_max_window_bits=009").server_max_window_bits, 9);
    // Out of range (an offer the library refuses): the widest window stands.
    EXPECT_EQ(first_deflate_offer("permessage-deflate; server_max_window_bits=99999999999").server_max_window_bits, 15);
    // Only the first permessage-deflate offer counts.
    const DeflateOffer offer = first_deflate_offer(
        "x-webkit-deflate-frame, permessage-deflate; server_no_context_takeover; server_max_window_bits=11, "
        "permessage-deflate; server_max_window_bits=9; client_no_context_takeover");
    EXPECT_EQ(offer.server_max_window_bits, 11);
    EXPECT_TRUE(offer.server_no_context_takeover);
    EXPECT_FALSE(offer.client_no_context_takeover);
}

} // namespace
} // namespace cog::web

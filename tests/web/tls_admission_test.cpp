// The TLS port's budgets: one address's rate of new sockets after its burst, this machine's own
// address held only to the frame's budget, and the frame budgets of sockets and handshakes.
#include "server/web/tls_admission.h"

#include <gtest/gtest.h>

namespace cog::web {
namespace {

// Sockets admitted out of `tries` from `address`, one a frame apart (so the frame budget never
// bites), starting at `start_us`.
unsigned admitted_one_a_frame(TlsAdmission& admission, const std::string& address, unsigned tries, int64_t& now_us) {
    unsigned admitted = 0;
    for (unsigned i = 0; i < tries; ++i, now_us += FRAME_US)
        admitted += admission.admits_socket(address, now_us) == TlsRefusal::None;
    return admitted;
}

TEST(TlsAdmission, OneAddressGetsItsBurstThenItsRateAndThisMachineOnlyTheFrameBudget) {
    constexpr unsigned RATE = 8, BURST = RATE * TLS_BURST_SECONDS;
    struct Case {
        const char* address;
        unsigned per_address_second, tries, admitted;
    } cases[] = {
        {"192.0.2.7", RATE, 100, BURST + 100 * RATE / 60}, // refills at the rate while it tries
        {"127.0.0.1", RATE, 100, 100},                     // this machine's own address
        {"::1", RATE, 100, 100},
        {"192.0.2.7", 0, 100, 100}, // no per-address limit
    };
    for (const Case& c : cases) {
        TlsAdmission admission(c.per_address_second);
        int64_t now_us = 5'000'000;
        EXPECT_EQ(admitted_one_a_frame(admission, c.address, c.tries, now_us), c.admitted) << c.address;
    }
    // A second later the address has a second's worth again; another address never lost any.
    TlsAdmission admission(RATE);
    int64_t now_us = 5'000'000;
    admitted_one_a_frame(admission, "192.0.2.7", 2 * BURST, now_us);
    EXPECT_EQ(admission.admits_socket("192.0.2.7", now_us), TlsRefusal::AddressRate);
    now_us += 1'000'000;
    unsigned at_once = 0;
    for (unsigned i = 0; i < 2 * RATE; ++i) at_once += admission.admits_socket("192.0.2.7", now_us) == TlsRefusal::None;
    EXPECT_EQ(at_once, RATE);
    now_us += FRAME_US;
    EXPECT_EQ(admitted_one_a_frame(admission, "198.51.100.1", BURST, now_us), BURST);
}

// After a first burst, each frame takes its budget and no more, however long the wait before it.
TEST(TlsAdmission, EachFrameTakesOnlyItsBudgetOfSocketsAndHandshakesWhoeverSendsThem) {
    TlsAdmission admission;
    int64_t now_us = 7'000'000;
    const auto take_all = [&](unsigned& sockets, unsigned& handshakes) {
        sockets = handshakes = 0;
        for (int i = 0; i < 100; ++i) {
            sockets += admission.admits_socket("127.0.0.1", now_us) == TlsRefusal::None;
            handshakes += admission.admits_handshake(now_us);
        }
    };
    unsigned sockets = 0, handshakes = 0;
    take_all(sockets, handshakes);
    EXPECT_EQ(sockets, TLS_SOCKET_BURST);
    EXPECT_EQ(handshakes, TLS_HANDSHAKE_BURST);
    EXPECT_EQ(admission.admits_socket("127.0.0.1", now_us), TlsRefusal::FrameBudget);
    now_us += FRAME_US;
    take_all(sockets, handshakes);
    EXPECT_EQ(sockets, TLS_SOCKETS_PER_FRAME);
    EXPECT_EQ(handshakes, TLS_HANDSHAKES_PER_FRAME);
    now_us += 100 * FRAME_US;
    take_all(sockets, handshakes);
    EXPECT_EQ(sockets, TLS_SOCKET_BURST);
    EXPECT_EQ(handshakes, TLS_HANDSHAKE_BURST);
}

} // namespace
} // namespace cog::web

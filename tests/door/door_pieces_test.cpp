// The door's pieces that read what strangers send or decide what rooms are called.
#include "door/address_limits.h"
#include "door/http_request.h"
#include "door/proxy_header.h"
#include "door/room_codes.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <set>

namespace cog::door {
namespace {

// Bytes given in order, again and again.
class ScriptedRandom final : public SecureRandom {
public:
    explicit ScriptedRandom(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    bool fill(uint8_t* out, size_t size) override {
        for (size_t i = 0; i < size; ++i) out[i] = bytes_[next_++ % bytes_.size()];
        return true;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t next_ = 0;
};

TEST(DoorPieces, CodesAreReadInAnyCaseAndDrawnUniformlyAndUnique) {
    const struct {
        const char* typed;
        const char* code; // nullptr: not a code
    } cases[] = {{"kxqf", "KXQF"}, {"KxQf", "KXQF"}, {"BCDZ", "BCDZ"}, {"KXQ", nullptr}, {"KXQFF", nullptr},
                 {"KIQF", nullptr}, {"KLQF", nullptr}, {"K0QF", nullptr}, {"KAQF", nullptr}, {"K/QF", nullptr},
                 {"", nullptr}};
    for (const auto& c : cases) {
        const auto code = normalize_code(c.typed);
        EXPECT_EQ(code.has_value(), c.code != nullptr) << c.typed;
        if (code && c.code) {
            EXPECT_EQ(*code, c.code) << c.typed;
        }
    }
    // A byte past the largest multiple of the alphabet's size is drawn again, not folded onto
    // the first letters: 255 is skipped here and 0, 1, 2, 3 make "BCDF".
    ScriptedRandom random({255, 0, 1, 2, 3});
    EXPECT_EQ(draw_code(random, [](std::string_view) { return false; }), "BCDF");
    // A taken code is drawn again.
    ScriptedRandom repeating({0, 0, 0, 0, 1, 1, 1, 1});
    EXPECT_EQ(draw_code(repeating, [](std::string_view code) { return code == "BBBB"; }), "CCCC");
    // Every drawn code reads back as itself.
    SystemSecureRandom system;
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const auto code = draw_code(system, [&](std::string_view c) { return seen.count(std::string(c)) > 0; });
        ASSERT_TRUE(code);
        EXPECT_EQ(normalize_code(*code), code);
        EXPECT_TRUE(seen.insert(*code).second);
    }
}

sockaddr_storage endpoint(const char* address, uint16_t port) {
    sockaddr_storage storage{};
    if (inet_pton(AF_INET, address, &reinterpret_cast<sockaddr_in&>(storage).sin_addr) == 1) {
        storage.ss_family = AF_INET;
        reinterpret_cast<sockaddr_in&>(storage).sin_port = htons(port);
    } else {
        storage.ss_family = AF_INET6;
        inet_pton(AF_INET6, address, &reinterpret_cast<sockaddr_in6&>(storage).sin6_addr);
        reinterpret_cast<sockaddr_in6&>(storage).sin6_port = htons(port);
    }
    return storage;
}

std::string hex(const std::string& bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        char text[3];
        std::snprintf(text, sizeof(text), "%02x", b);
        out += text;
    }
    return out;
}

TEST(DoorPieces, ProxyHeaderCarriesEitherFamily) {
    const std::string signature = "0d0a0d0a000d0a515549540a";
    const struct {
        const char *source, *destination;
        uint16_t source_port, destination_port;
        std::string expected; // after the signature
    } cases[] = {
        {"192.0.2.7", "10.0.0.1", 51000, 8080, "2111000c" "c0000207" "0a000001" "c738" "1f90"},
        {"::ffff:192.0.2.7", "::ffff:10.0.0.1", 51000, 8080, "2111000c" "c0000207" "0a000001" "c738" "1f90"},
        {"2001:db8::5", "2001:db8::1", 443, 8080,
         "21210024" "20010db8000000000000000000000005" "20010db8000000000000000000000001" "01bb" "1f90"},
        // One end IPv4, the other IPv6: both written as IPv6.
        {"::ffff:192.0.2.7", "2001:db8::1", 1, 2,
         "21210024" "00000000000000000000ffffc0000207" "20010db8000000000000000000000001" "0001" "0002"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hex(proxy_v2_header(endpoint(c.source, c.source_port), endpoint(c.destination, c.destination_port))),
                  signature + c.expected)
            << c.source;
}

TEST(DoorPieces, RequestHeadsAreReadOrRefused) {
    const struct {
        std::string text;
        HeadError error;
        const char* target;
    } cases[] = {
        {"GET /r/KXQF/play HTTP/1.1\r\nHost: a\r\nUpgrade: WebSocket\r\n\r\nextra", HeadError::None, "/r/KXQF/play"},
        {"GET / HTTP/1.1\r\nHost: a\r\n", HeadError::Incomplete, nullptr},
        {"GET / HTTP/1.1\r\nHost: a\r\n" + std::string(MAX_REQUEST_HEAD_BYTES, 'x'), HeadError::TooLarge, nullptr},
        {"GET / HTTP/2\r\n\r\n", HeadError::Malformed, nullptr},
        {"GET nothing HTTP/1.1\r\n\r\n", HeadError::Malformed, nullptr},
        {"GET / HTTP/1.1\r\nno colon\r\n\r\n", HeadError::Malformed, nullptr},
        {"GET / HTTP/1.1\r\n: empty name\r\n\r\n", HeadError::Malformed, nullptr},
    };
    for (const auto& c : cases) {
        HttpHead head;
        EXPECT_EQ(parse_head(c.text, head), c.error) << c.text.substr(0, 40);
        if (c.target) {
            EXPECT_EQ(head.target, c.target);
            EXPECT_EQ(head.header("HOST"), "a");
            EXPECT_TRUE(head.header_has_token("upgrade", "websocket"));
            EXPECT_EQ(c.text.substr(head.head_bytes), "extra");
        }
    }
}

TEST(DoorPieces, AddressRatesRefillAndSpareThisMachine) {
    AddressRate rate(5, 600'000);
    int taken = 0;
    for (int i = 0; i < 8; ++i) taken += rate.take("192.0.2.1", 0);
    EXPECT_EQ(taken, 5);
    EXPECT_FALSE(rate.take("192.0.2.1", 60'000));  // a tenth of the period: not yet a whole one back
    EXPECT_TRUE(rate.take("192.0.2.1", 120'000));  // a fifth: one back
    EXPECT_TRUE(rate.take("192.0.2.2", 0));        // another address has its own
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(rate.take("127.0.0.1", 0));
        EXPECT_TRUE(rate.take("::1", 0));
    }
    AddressCount count(2);
    EXPECT_TRUE(count.try_add("192.0.2.1"));
    EXPECT_TRUE(count.try_add("192.0.2.1"));
    EXPECT_FALSE(count.try_add("192.0.2.1"));
    count.remove("192.0.2.1");
    EXPECT_TRUE(count.try_add("192.0.2.1"));
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(count.try_add("127.0.0.1"));
}

} // namespace
} // namespace cog::door

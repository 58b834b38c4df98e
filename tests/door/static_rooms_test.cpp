// Fixed rooms named on the door's command line, in front of the rooms it makes.
#include "door/door_options.h"
#include "door/static_rooms.h"

#include <gtest/gtest.h>

namespace cog::door {
namespace {

// A source that knows one room, "KXQF", and remembers what it was told.
class OneRoom final : public RoomSource {
public:
    RoomStartError start_room(std::string_view code) override {
        started = code;
        return RoomStartError::None;
    }
    RoomLookup find_room(std::string_view code) const override {
        return code == "KXQF" ? RoomLookup{RoomState::Ready, {"10.0.0.7", 5000}} : RoomLookup{};
    }
    void poll(int64_t, std::vector<RoomEvent>&) override {}
    void set_players(std::string_view code, int players) override { told[std::string(code)] = players; }
    size_t room_count() const override { return 1; }
    bool shut_down(int64_t, std::vector<RoomEvent>&) override { return true; }
    std::string started;
    std::map<std::string, int> told;
};

TEST(StaticRooms, NamedRoomsAreReadyAtTheirAddressAndHideNothingBehind) {
    const struct {
        const char* text;
        const char* code; // nullptr: refused
        const char* host;
        uint16_t port;
    } cases[] = {{"bnch=127.0.0.1:9000", "BNCH", "127.0.0.1", 9000}, {"KXQF=[::1]:80", "KXQF", "::1", 80},
                 {"BNCH=localhost:9000", nullptr, "", 0}, {"BNCH=127.0.0.1", nullptr, "", 0},
                 {"BNCH=127.0.0.1:0", nullptr, "", 0}, {"BNCH=127.0.0.1:70000", nullptr, "", 0},
                 {"BENCH=127.0.0.1:9000", nullptr, "", 0}, {"BNCH=::1:80", nullptr, "", 0}, {"", nullptr, "", 0}};
    for (const auto& c : cases) {
        const auto room = parse_static_room(c.text);
        ASSERT_EQ(room.has_value(), c.code != nullptr) << c.text;
        DoorOptions options;
        EXPECT_EQ(parse_door_options({"--static-room", c.text}, options).error,
                  c.code ? DoorOptionsError::None : DoorOptionsError::InvalidValue) << c.text;
        if (!room) continue;
        EXPECT_EQ(room->first, c.code);
        EXPECT_EQ(room->second.host, c.host);
        EXPECT_EQ(room->second.port, c.port);
    }

    OneRoom behind;
    StaticRooms rooms({{"BNCH", RoomAddress{"127.0.0.1", 9000}}}, behind);
    const RoomLookup fixed = rooms.find_room("BNCH");
    EXPECT_EQ(fixed.state, RoomState::Ready);
    EXPECT_EQ(fixed.address.port, 9000);
    EXPECT_EQ(rooms.find_room("KXQF").address.port, 5000);
    EXPECT_EQ(rooms.find_room("ZZZZ").state, RoomState::Unknown);
    // A fixed code is never made again, and its players are not the source's business.
    EXPECT_EQ(rooms.start_room("BNCH"), RoomStartError::CodeTaken);
    EXPECT_EQ(rooms.start_room("DDDD"), RoomStartError::None);
    EXPECT_EQ(behind.started, "DDDD");
    rooms.set_players("BNCH", 3);
    rooms.set_players("KXQF", 2);
    EXPECT_EQ(behind.told, (std::map<std::string, int>{{"KXQF", 2}}));
}

} // namespace
} // namespace cog::door

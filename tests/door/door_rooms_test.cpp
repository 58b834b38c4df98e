// The real door with real rooms (cogwell-host): made rooms play through the door, apart from each
// other; a room that dies ends its code alone; a door killed outright takes its rooms with it.
#include "shared/protocol/json.h"
#include "shared/protocol/messages.h"
#include "tests/door/door_harness.h"
#include "tests/ws_client/ws_client.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

namespace cog::test {
namespace {

std::vector<std::string> door_options() {
    std::vector<std::string> options = {"--host-binary", COG_HOST_BINARY};
    if (!host_reads_proxy_header()) options.push_back("--rooms-without-proxy-header");
    return options;
}

std::string login_text(std::string_view name) {
    ClientMessage login;
    login.kind = ClientMessageKind::LOGIN;
    login.player_name = name;
    std::string text;
    write_json(text, login);
    return text;
}

bool is_init(const std::string& message) { return message.starts_with("{\"kind\":0,\"event\":{\"kind\":0,"); }

// Logs `name` in through the door's path for `code`; true once its INIT came.
bool log_in(WsClient& client, std::string_view name, std::vector<std::string>& received) {
    if (!client.wait_open(10000)) return false;
    client.send_text(login_text(name));
    client.flush();
    // Pictures come every frame: short waits, so that each call returns between two.
    for (int round = 0; round < 2000; ++round) {
        for (auto& m : client.receive(5)) {
            const bool init = is_init(m);
            received.push_back(std::move(m));
            if (init) return true;
        }
    }
    return false;
}

std::string make_room(const DoorProcess& door) {
    const HttpAnswer made = http_request(door.port(), "POST", "/rooms");
    EXPECT_EQ(made.status, 201) << made.head;
    const std::string code = json_string(made.body, "code");
    EXPECT_EQ(json_string(made.body, "link"), "/r/" + code);
    return code;
}

int room_pid(const DoorProcess& door, const std::string& code) {
    const std::string line = door.wait_for_line("Room " + code + " starting", 5000);
    const size_t at = line.find("pid ");
    return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 4);
}

bool mentions(const std::vector<std::string>& messages, std::string_view text) {
    for (const auto& m : messages)
        if (m.find(text) != std::string::npos) return true;
    return false;
}

TEST(DoorRooms, MadeRoomsPlayThroughTheDoorApartAndEndAlone) {
    DoorProcess door(door_options());
    ASSERT_NE(door.port(), 0) << door.output();
    EXPECT_EQ(http_request(door.port(), "GET", "/door.json").body, "{\"door\":true}");

    const auto asked = std::chrono::steady_clock::now();
    const std::string first = make_room(door);
    WsClient ann(door.port(), true, "/r/" + first + "/play");
    std::vector<std::string> ann_saw;
    ASSERT_TRUE(log_in(ann, "Annabel", ann_saw)) << door.output() << (ann_saw.empty() ? "" : ann_saw.front());
    std::printf("POST /rooms to the first INIT through the door: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - asked)
                                           .count()));

    const std::string second = make_room(door);
    ASSERT_NE(first, second);
    // Typed in lower case, as a player may.
    std::string lower = second;
    for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
    EXPECT_EQ(http_request(door.port(), "GET", "/rooms/" + lower).status, 200);
    EXPECT_EQ(http_request(door.port(), "GET", "/r/" + lower).status, 200);
    WsClient bob(door.port(), true, "/r/" + lower + "/play");
    std::vector<std::string> bob_saw;
    ASSERT_TRUE(log_in(bob, "Bartholomew", bob_saw)) << door.output();

    // Each room's pictures name its own player and never the other's.
    for (int round = 0; round < 50; ++round) {
        for (auto& m : ann.receive(5)) ann_saw.push_back(std::move(m));
        for (auto& m : bob.receive(5)) bob_saw.push_back(std::move(m));
    }
    EXPECT_TRUE(mentions(ann_saw, "Annabel"));
    EXPECT_TRUE(mentions(bob_saw, "Bartholomew"));
    EXPECT_FALSE(mentions(ann_saw, "Bartholomew"));
    EXPECT_FALSE(mentions(bob_saw, "Annabel"));

    // The first room dies: its code ends, its player is let go, the other room plays on.
    const int first_pid = room_pid(door, first);
    ASSERT_GT(first_pid, 0);
    ::kill(first_pid, SIGKILL);
    EXPECT_NE(door.wait_for_line("Room " + first + " ended (crashed)", 5000), "") << door.output();
    EXPECT_TRUE(ann.closed_by_peer(3000));
    EXPECT_EQ(http_request(door.port(), "GET", "/rooms/" + first).status, 404);
    EXPECT_EQ(http_request(door.port(), "GET", "/rooms/" + second).status, 200);
    bob.send_text("{\"kind\":3,\"settings_command\":\"info\"}");
    bob.flush();
    EXPECT_FALSE(bob.receive(5).empty());
    EXPECT_FALSE(bob.closed_by_peer(10));
}

TEST(DoorRooms, ADoorKilledOutrightLeavesNoRoom) {
    std::vector<int> pids;
    {
        DoorProcess door(door_options());
        ASSERT_NE(door.port(), 0) << door.output();
        for (int i = 0; i < 2; ++i) {
            const std::string code = make_room(door);
            pids.push_back(room_pid(door, code));
            ASSERT_NE(door.wait_for_line("Room " + code + " made", 10000), "") << door.output();
        }
        door.kill_now();
    }
    for (int pid : pids) {
        ASSERT_GT(pid, 0);
        bool gone = false;
        for (int i = 0; i < 300 && !gone; ++i) {
            gone = process_gone(pid);
            if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(gone) << "room process " << pid;
    }
}

} // namespace
} // namespace cog::test

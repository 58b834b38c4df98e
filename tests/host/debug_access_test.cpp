// Who may use the debug commands: the open room, the admin room and its token, the closed room.
#include "server/seats/secret_token.h"
#include "server/main/debug_access.h"
#include "server/main/screen_stack.h"
#include "tests/host/host_harness.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace cog::test {
namespace {

const std::vector<std::string> NOT_ADMIN = {"Debug commands are for the room's admin"};
const std::vector<std::string> DISABLED = {"Debug commands are disabled"};
const std::vector<std::string> GRANTED = {"Admin rights granted"};
const std::vector<std::string> WRONG = {"Wrong admin token"};

// A host in one mode whose console is captured from start-up on, and everything its clients
// were sent.
struct Room {
    ConsoleCapture console; // first: the token is logged while the host starts
    HostHarness h;
    std::string sent_to_clients;

    explicit Room(DebugCommandsMode mode) : h(false, 0, mode) { EXPECT_TRUE(h.start()); }

    // The chat replies a client has received; every message it was sent is kept.
    std::vector<std::string> replies(TestClient& client) {
        std::vector<std::string> texts;
        for (auto& m : client.receive_all()) {
            sent_to_clients += m.body;
            if (m.message.kind == ServerMessageKind::EVENT && m.message.event.kind == EventKind::CHAT_MESSAGE)
                texts.emplace_back(m.message.event.message);
        }
        return texts;
    }
    // The answers to a command; the lobby's own news of a player who left ("Ann left") is none.
    std::vector<std::string> command(TestClient& client, std::string_view line) {
        client.send_command(line);
        h.frames(1);
        std::vector<std::string> answers = replies(client);
        std::erase_if(answers, [](const std::string& text) { return text.ends_with(" left"); });
        return answers;
    }
    std::string token() const { // what follows the tag up to the end of its line
        const std::string& log = console.text();
        const size_t at = log.find("Admin token: ");
        return at == std::string::npos ? "" : log.substr(at + 13, log.find('\n', at) - at - 13);
    }
    PlayerConnection& player(uint32_t id) { return h.state().global.players.at(id); }
    Screen& top() { return *h.state().screen_stack.top(); }
};

class RefusingRoom : public ::testing::TestWithParam<DebugCommandsMode> {};

TEST_P(RefusingRoom, DebugCommandsOfAnOrdinaryPlayerChangeNothingButTheMouseToggleWorks) {
    const std::vector<std::string>& refusal = GetParam() == DebugCommandsMode::ADMIN ? NOT_ADMIN : DISABLED;
    Room room(GetParam());
    TestClient client(room.h.port());
    const uint32_t id = room.h.login(client, "guest");
    ASSERT_NE(id, 0u);
    push_screen(room.h.state(), ScreenId::CRAWL); // something to pop and to reset
    room.replies(client);
    room.console.clear();
    for (const char* line : {"push metro", "PUSH 6", "pop", "reset", "role cop", "info", "show_cursor", "show_names",
                             "dance", ""})
        EXPECT_EQ(room.command(client, line), refusal) << line;
    EXPECT_EQ(room.h.state().screen_stack.count, 2);
    EXPECT_EQ(room.top().id, ScreenId::CRAWL);
    EXPECT_TRUE(room.h.state().global.roles.empty());
    EXPECT_FALSE(room.h.state().global.show_cursor);
    EXPECT_FALSE(room.h.state().global.show_names);
    for (const char* effect : {"Pushing screen", "Popping screen", "Resetting current screen", "role changed"})
        EXPECT_FALSE(room.console.contains(effect)) << effect;
    EXPECT_TRUE(room.console.contains("Player 1 debug command: pop\n"));

    EXPECT_TRUE(room.command(client, "TM").empty());
    EXPECT_FALSE(room.player(id).show_mouse);
    EXPECT_TRUE(room.command(client, "toggle_mouse").empty());
    EXPECT_TRUE(room.player(id).show_mouse);
    if (GetParam() == DebugCommandsMode::OFF) {
        // No token in this mode: a claim is one more refused debug command.
        EXPECT_EQ(room.command(client, "admin 0123456789abcdef0123456789abcdef"), DISABLED);
        EXPECT_FALSE(room.player(id).is_admin);
        EXPECT_FALSE(room.console.contains("Admin token"));
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RefusingRoom, ::testing::Values(DebugCommandsMode::ADMIN, DebugCommandsMode::OFF),
                         [](const auto& info) { return std::string(debug_commands_mode_name(info.param)); });

TEST(DebugAccess, AClaimInTheOpenRoomIsAnUnknownCommandLoggedWithoutItsWord) {
    Room room(DebugCommandsMode::OPEN);
    TestClient client(room.h.port());
    const uint32_t id = room.h.login(client, "friend");
    room.replies(client);
    EXPECT_FALSE(room.console.contains("Admin token"));
    EXPECT_EQ(room.command(client, "admin secret-guess"), std::vector<std::string>{"Unknown command"});
    EXPECT_FALSE(room.player(id).is_admin);
    EXPECT_TRUE(room.console.contains("Player 1 debug command: admin ***\n"));
    EXPECT_FALSE(room.console.contains("secret-guess"));
}

TEST(DebugAccess, TheTokenMakesAnAdminForTheSeatAndIsNeverRepeated) {
    Room room(DebugCommandsMode::ADMIN);
    const std::string token = room.token();
    ASSERT_GE(token.size(), 16u);
    TestClient ann(room.h.port()), bob(room.h.port());
    const uint32_t ann_id = room.h.login(ann, "ann");
    const uint32_t bob_id = room.h.login(bob, "bob");
    room.replies(ann);
    room.replies(bob);

    EXPECT_EQ(room.command(ann, "role cop"), NOT_ADMIN);
    // Wrong in its first digit only: every byte of a guess counts, not just the last compared.
    std::string first_off = token;
    first_off.front() = token.front() == '0' ? '1' : '0';
    EXPECT_EQ(room.command(bob, "admin " + first_off), WRONG);
    EXPECT_FALSE(room.player(bob_id).is_admin);
    EXPECT_EQ(room.command(ann, "ADMIN " + token + " and more"), GRANTED);
    EXPECT_TRUE(room.player(ann_id).is_admin);
    EXPECT_FALSE(room.player(bob_id).is_admin);
    EXPECT_TRUE(room.console.contains("Player 1 debug command: admin ***\n"));
    EXPECT_EQ(room.command(ann, "push metro"), std::vector<std::string>{"Screen found"});
    EXPECT_EQ(room.top().id, ScreenId::METRO);
    EXPECT_EQ(room.command(bob, "pop"), NOT_ADMIN);
    EXPECT_EQ(room.top().id, ScreenId::METRO);

    // A client that keeps no reconnection secret gets its seat back by id and name, which
    // anyone can read: the seat comes back, its rights do not.
    ann.close();
    ASSERT_TRUE(room.h.frames_until([&] { return !room.player(ann_id).connected; }, 20));
    TestClient again(room.h.port());
    ASSERT_EQ(room.h.login(again, "ann", ann_id), ann_id);
    EXPECT_TRUE(room.console.contains("Player 1 came back without its reconnection secret: its admin rights are withdrawn"));
    EXPECT_EQ(room.command(again, "pop"), NOT_ADMIN);
    EXPECT_EQ(room.command(again, "admin " + token), GRANTED);
    EXPECT_TRUE(room.command(again, "pop").empty());
    EXPECT_EQ(room.top().id, ScreenId::LOBBY);

    room.h.frames(2);
    room.replies(bob);
    room.replies(again);
    EXPECT_EQ(room.sent_to_clients.find(token), std::string::npos);
    EXPECT_EQ(room.console.count(token), 1u);
}

// The owner's tab is hidden and quiet; others know its id and name from PLAYER_JOINED. Without
// the seat's secret they get seats of their own, and the owner keeps its seat and rights; after a
// real drop the secret brings back the seat, its mask and its rights.
TEST(DebugAccess, AQuietAdminsSeatAndRightsGoBackOnlyToItsSecret) {
    Room room(DebugCommandsMode::ADMIN);
    const std::string token = room.token();
    TestClient owner(room.h.port()), other(room.h.port());
    const HostHarness::Seat ann = room.h.claim_seat(owner, "Ann", 0, "");
    const HostHarness::Seat bob = room.h.claim_seat(other, "Bob", 0, "");
    ASSERT_EQ(ann.id, 1u);
    ASSERT_EQ(ann.secret.size(), 2 * SECRET_TOKEN_BYTES);
    EXPECT_NE(bob.secret, ann.secret);
    room.replies(other);
    EXPECT_EQ(room.command(owner, "admin " + token), GRANTED);
    const int32_t mask = room.player(ann.id).mask;

    room.h.clock.advance_ns(2'500'000'000);
    room.h.frames(1);
    const std::optional<std::string> tries[] = {std::nullopt, "", bob.secret, ann.secret + "0", ann.secret.substr(1)};
    for (const std::optional<std::string>& secret : tries) {
        TestClient impostor(room.h.port());
        const HostHarness::Seat seat = room.h.claim_seat(impostor, "Ann", ann.id, secret);
        EXPECT_GT(seat.id, bob.id) << secret.value_or("(none)");
        EXPECT_EQ(room.command(impostor, "push crawl"), NOT_ADMIN);
        EXPECT_EQ(room.top().id, ScreenId::LOBBY);
        EXPECT_FALSE(owner.closed_by_peer(5));
    }
    EXPECT_TRUE(room.player(ann.id).connected);
    EXPECT_TRUE(room.player(ann.id).is_admin);

    owner.close();
    ASSERT_TRUE(room.h.frames_until([&] { return !room.player(ann.id).connected; }, 20));
    TestClient back(room.h.port());
    const HostHarness::Seat again = room.h.claim_seat(back, "Ann", ann.id, ann.secret);
    EXPECT_EQ(again.id, ann.id);
    EXPECT_EQ(again.secret, ann.secret);
    EXPECT_EQ(room.player(ann.id).mask, mask);
    EXPECT_EQ(room.command(back, "push crawl"), std::vector<std::string>{"Screen found"});
    EXPECT_EQ(room.top().id, ScreenId::CRAWL);

    room.replies(other);
    EXPECT_EQ(room.sent_to_clients.find(ann.secret), std::string::npos);
    EXPECT_EQ(room.console.count(ann.secret), 0u);
}

TEST(DebugAccess, FiveWrongTokensDropTheConnectionAndANewConnectionStartsAgain) {
    Room room(DebugCommandsMode::ADMIN);
    const std::string token = room.token();
    ASSERT_EQ(token.size(), 2 * SECRET_TOKEN_BYTES);
    std::string one_off = token;
    one_off.back() = token.back() == '0' ? '1' : '0';
    const std::string wrong[] = {"admin", "admin  " + token, "admin " + token + "0", "admin " + one_off,
                                 "admin " + token.substr(1)};

    TestClient first(room.h.port());
    const uint32_t id = room.h.login(first, "eve");
    room.replies(first);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(room.command(first, wrong[i]), WRONG) << wrong[i];
    EXPECT_FALSE(first.closed_by_peer(5));
    EXPECT_EQ(room.command(first, wrong[4]), WRONG);
    EXPECT_TRUE(first.closed_by_peer());
    EXPECT_TRUE(room.console.contains("Player 1 offered too many wrong admin tokens, disconnecting"));
    EXPECT_FALSE(room.player(id).connected);
    EXPECT_FALSE(room.player(id).is_admin);

    TestClient second(room.h.port());
    ASSERT_EQ(room.h.login(second, "eve", id), id);
    room.replies(second);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(room.command(second, wrong[i]), WRONG) << wrong[i];
    EXPECT_EQ(room.command(second, "admin " + token), GRANTED);
    EXPECT_FALSE(second.closed_by_peer(5));
    EXPECT_TRUE(room.player(id).is_admin);
}

TEST(AdminToken, WithoutARandomSourceTheCommandsAreOffNotOpen) {
    ConsoleCapture console;
    DebugAccess access;
    start_debug_access(access, DebugCommandsMode::ADMIN, [](std::span<unsigned char>) { return ENOSYS; });
    EXPECT_EQ(access.mode, DebugCommandsMode::OFF);
    EXPECT_TRUE(access.admin_token.empty());
    EXPECT_TRUE(console.contains("Cannot make the admin token"));
    EXPECT_TRUE(console.contains("Debug commands: off"));
    EXPECT_FALSE(console.contains("Admin token:"));
}

} // namespace
} // namespace cog::test

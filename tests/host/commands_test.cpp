// Settings and debug commands sent by a real client, with their replies and log lines.
#include "server/main/screen_stack.h"
#include "tests/host/host_harness.h"

#include "shared/log/printable.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

struct CommandFixture : ::testing::Test {
    HostHarness h;
    std::unique_ptr<TestClient> client;
    uint32_t id = 0;

    void SetUp() override {
        ASSERT_TRUE(h.start());
        client = std::make_unique<TestClient>(h.port());
        id = h.login(*client, "commander");
        ASSERT_EQ(id, 1u);
        client->receive_all();
    }

    // Sends a command, runs a frame, returns the chat replies.
    std::vector<std::string> command(std::string_view line) {
        client->send_command(line);
        h.frames(1);
        std::vector<std::string> replies;
        for (auto& m : client->receive_all())
            if (m.message.kind == ServerMessageKind::EVENT && m.message.event.kind == EventKind::CHAT_MESSAGE) {
                EXPECT_EQ(m.message.event.sender_id, 0u);
                replies.emplace_back(m.message.event.message);
            }
        return replies;
    }
    ScreenId top() { return h.state().screen_stack.top()->id; }
};

TEST_F(CommandFixture, PushByNameOrDigitInAnyCase) {
    ConsoleCapture console;
    EXPECT_EQ(command("PUSH METRO"), std::vector<std::string>{"Screen found"});
    EXPECT_EQ(top(), ScreenId::METRO);
    EXPECT_TRUE(console.contains("Player 1 debug command: PUSH METRO"));
    EXPECT_TRUE(console.contains("Pushing screen: METRO (stack depth: 1 -> 2)"));
    EXPECT_EQ(command("push 7"), std::vector<std::string>{"Screen found"});
    EXPECT_EQ(top(), ScreenId::PASSWORD);
    EXPECT_EQ(h.state().screen_stack.count, 3);
}

TEST_F(CommandFixture, EveryPushableScreenIsPushedByNameAndDigit) {
    for (const ScreenNames& names : SCREEN_NAMES) {
        if (!names.push_name) continue;
        for (const std::string& argument : {std::string(names.push_name), std::to_string(int64_t(names.id))}) {
            ConsoleCapture console;
            EXPECT_EQ(command("push " + argument), std::vector<std::string>{"Screen found"}) << argument;
            // (game select may move on at once to the end screen, so the log line is checked)
            EXPECT_TRUE(console.contains(std::string("Pushing screen: ") + names.log_name + " (stack depth: 1 -> 2)"));
            while (h.state().screen_stack.count > 1) pop_screen(h.state());
        }
    }
}

TEST_F(CommandFixture, PushProblemsAreOnlyLogged) {
    ConsoleCapture console;
    EXPECT_TRUE(command("push").empty());
    EXPECT_TRUE(console.contains(
        "Usage: push <lobby|crawl|role_reveal|game_select|typewriter|doors|metro|password|0|1|2|3|4|5|6|7>"));
    EXPECT_TRUE(command("push  metro").empty()); // two spaces: the argument is the empty word
    EXPECT_TRUE(console.contains("]  screen not found."));
    EXPECT_TRUE(command("push 8").empty()); // the end screen cannot be pushed by hand
    EXPECT_TRUE(console.contains("8 screen not found."));
    EXPECT_TRUE(command("push End").empty());
    EXPECT_TRUE(console.contains("End screen not found."));
    EXPECT_EQ(h.state().screen_stack.count, 1);
}

TEST_F(CommandFixture, DisplaySwitchesAndRoles) {
    EXPECT_EQ(command("show_cursor"), std::vector<std::string>{"Cursor visible"});
    EXPECT_TRUE(h.state().global.show_cursor);
    EXPECT_EQ(command("hide_cursor"), std::vector<std::string>{"Cursor hidden"});
    EXPECT_FALSE(h.state().global.show_cursor);
    EXPECT_EQ(command("show_names"), std::vector<std::string>{"Names visible"});
    EXPECT_EQ(command("hide_names"), std::vector<std::string>{"Names hidden"});
    EXPECT_FALSE(h.state().global.show_names);

    ConsoleCapture console;
    EXPECT_TRUE(command("role COP").empty());
    EXPECT_EQ(h.state().global.roles.at(1), PlayerRole::COP);
    EXPECT_TRUE(console.contains("Player 1 role changed to: COP"));
    command("role");
    EXPECT_TRUE(console.contains("Usage: role <masked|cop>"));
    command("role robot");
    EXPECT_TRUE(console.contains("Invalid role. Use: masked or cop"));
    EXPECT_EQ(h.state().global.roles.at(1), PlayerRole::COP);
}

TEST_F(CommandFixture, ToggleMouseInAnyCaseWithoutReply) {
    ConsoleCapture console;
    EXPECT_TRUE(command("Toggle_Mouse").empty());
    EXPECT_FALSE(h.state().global.players.at(1).show_mouse);
    EXPECT_TRUE(console.contains("Player 1 toggled mouse pointers: false"));
    EXPECT_TRUE(command("TM").empty());
    EXPECT_TRUE(h.state().global.players.at(1).show_mouse);
    EXPECT_TRUE(console.contains("Player 1 toggled mouse pointers: true"));
}

TEST_F(CommandFixture, InfoAndUnknown) {
    const auto info = command("info");
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0], "=== SERVER INFO ===\nPlayers: 1 connected\nStack: 1/16 screens\nCurrent: LOBBY\nWorld: "
                       "1280x720\nRate: 60 TPS");
    ConsoleCapture console;
    EXPECT_EQ(command(""), std::vector<std::string>{"Unknown command"});
    EXPECT_TRUE(console.contains("Unknown debug command: \n"));
    EXPECT_TRUE(console.contains(
        "Available: push, pop, reset, show_cursor, hide_cursor, show_names, hide_names, role, info"));
    EXPECT_EQ(command("Dance"), std::vector<std::string>{"Unknown command"});
    EXPECT_TRUE(console.contains("Unknown debug command: dance"));
}

TEST_F(CommandFixture, ClientTextCannotDriveTheTerminal) {
    ConsoleCapture console;
    command("dance\x1b[2J\r");
    EXPECT_TRUE(console.contains("Player 1 debug command: dance\\x1b[2J\\x0d\n"));
    EXPECT_FALSE(console.contains("\x1b[2J"));
    // C1 controls (a terminal's one-byte CSI among them) and line separators.
    command("a\u009b2J\u0085b\u2028c\u00e9");
    EXPECT_TRUE(console.contains("debug command: a\\u009b2J\\u0085b\\u2028c\u00e9\n"));
    EXPECT_FALSE(console.contains("\u009b"));
}

TEST(Printable, EscapesWhatIsNotTextAndCutsLongTexts) {
    // Broken UTF-8 byte by byte, and a backslash doubled so that escapes stay unambiguous.
    EXPECT_EQ(printable("c\xff\xc3" "d\\e\xed\xa0\x80"), "c\\xff\\xc3d\\\\e\\xed\\xa0\\x80");
    const std::string long_text = "x" + std::string(150, 'y') + std::string(100, ' ') + "\u00e9";
    const std::string cut = printable(long_text);
    EXPECT_EQ(cut, long_text.substr(0, MAX_PRINTABLE_BYTES) + "...(253 bytes)");
    // A character is never split at the cut.
    EXPECT_EQ(printable(std::string(199, 'a') + "\u00e9\u00e9"), std::string(199, 'a') + "...(203 bytes)");
}

TEST_F(CommandFixture, ChatAndLateLoginChangeNothing) {
    ConsoleCapture console;
    ClientMessage chat;
    chat.kind = ClientMessageKind::CHAT;
    chat.message = "hello everyone";
    client->send_message(chat);
    client->send_login("again", 0);
    h.frames(2);
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(h.state().global.players.size(), 1u);
    EXPECT_EQ(count_events(client->receive_all(), EventKind::CHAT_MESSAGE), 0u);
    EXPECT_EQ(command("info").size(), 1u); // the stream is still read after them
}

TEST_F(CommandFixture, KeyPressesArePrintedAndStored) {
    ConsoleCapture console;
    InputState input;
    input.keys[2].just_pressed = true;
    input.backspace.just_pressed = true;
    input.mouse_x = 12.5f;
    client->send_input(input);
    h.frames(1);
    EXPECT_TRUE(console.contains("[SERVER] Player 1 received key: C (index 2)\n"));
    EXPECT_TRUE(console.contains("[SERVER] Player 1 received backspace\n"));
    EXPECT_FLOAT_EQ(h.state().global.players.at(1).input.mouse_x, 12.5f);
}

} // namespace
} // namespace cog::test

// JSON5 reader: accepted forms, rejected inputs, nesting limits and writer round trips.
#include "shared/protocol/json.h"

#include <gtest/gtest.h>

#include <memory_resource>
#include <string>

namespace cog {
namespace {

class JsonReaderTest : public ::testing::Test {
protected:
    JsonError read(std::string_view text) { return read_json(text, msg, &arena); }
    JsonErrorKind kind_of(std::string_view text) { return read(text).kind; }

    std::pmr::monotonic_buffer_resource arena;
    ClientMessage msg;
};

std::string nested(int levels, std::string_view inner = "") {
    return std::string(static_cast<size_t>(levels), '[') + std::string(inner) + std::string(static_cast<size_t>(levels), ']');
}

TEST_F(JsonReaderTest, CompactAndFormattedJson) {
    ASSERT_FALSE(read(R"({"kind":0,"player_name":"Ann","previous_player_id":7})"));
    EXPECT_EQ(msg.kind, ClientMessageKind::LOGIN);
    EXPECT_EQ(msg.player_name, "Ann");
    EXPECT_EQ(msg.previous_player_id, 7u);

    ASSERT_FALSE(read("{\n  \"kind\" : 3 ,\r\n\t\"settings_command\" : \"tm\"\n}\n"));
    EXPECT_EQ(msg.kind, ClientMessageKind::SETTINGS_COMMAND);
    EXPECT_EQ(msg.settings_command, "tm");
}

TEST_F(JsonReaderTest, Json5Forms) {
    const char* text = "\xEF\xBB\xBF// leading comment\n"
                       "{ /* block */ kind: +1, 'player_name': 'it\\'s', $x_1: [1,2,], previous_player_id: 0x1F,\n"
                       "  input: { mouse_x: .5, mouse_y: 5., up: true, keys: [ {is_down: true,}, ], },\n"
                       "  message: \"a\\\n b\\x41\\u00e9\\ud83d\\ude00\\0\\v\", }  // end\n";
    ASSERT_FALSE(read(text)) << json_error_text(read(text));
    EXPECT_EQ(msg.kind, ClientMessageKind::INPUT);
    EXPECT_EQ(msg.player_name, "it's");
    EXPECT_EQ(msg.previous_player_id, 31u);
    EXPECT_EQ(msg.input.mouse_x, 0.5f);
    EXPECT_EQ(msg.input.mouse_y, 5.0f);
    EXPECT_TRUE(msg.input.up);
    EXPECT_TRUE(msg.input.keys[0].is_down);
    EXPECT_FALSE(msg.input.keys[1].is_down);
    EXPECT_EQ(msg.message, std::string_view("a bA\xc3\xa9\xf0\x9f\x98\x80\0\v", 12));
}

TEST_F(JsonReaderTest, FloatForms) {
    ASSERT_FALSE(read(R"({input:{mouse_x:-1.5e2,mouse_y:1E-50}})"));
    EXPECT_EQ(msg.input.mouse_x, -150.0f);
    EXPECT_EQ(msg.input.mouse_y, 0.0f);
    ASSERT_FALSE(read(R"({input:{mouse_x:0.69999999,mouse_y:12}})"));
    EXPECT_EQ(msg.input.mouse_x, 0.7f);
    EXPECT_EQ(msg.input.mouse_y, 12.0f);
    EXPECT_EQ(kind_of(R"({input:{mouse_x:Infinity}})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({input:{mouse_x:-NaN}})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({input:{mouse_x:1e39}})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({input:{mouse_x:"1"}})"), JsonErrorKind::Type_Mismatch);
}

TEST_F(JsonReaderTest, LoneSurrogateEscapeBecomesReplacementCharacter) {
    ASSERT_FALSE(read(R"({message:"\ud800x\udc00"})"));
    EXPECT_EQ(msg.message, "\xef\xbf\xbdx\xef\xbf\xbd");
}

TEST_F(JsonReaderTest, UnknownKeysAreSkippedWithTheirValues) {
    ASSERT_FALSE(read(R"({"extra":{"kind":9,"a":[1,{"b":[]},"}"],"c":null},"kind":2,"Kind":7,"m":'x',"message":"hi"})"));
    EXPECT_EQ(msg.kind, ClientMessageKind::CHAT);
    EXPECT_EQ(msg.message, "hi");
    // A very long unknown key, quoted with escapes, is still just unknown.
    std::string long_key = "{\"" + std::string(300, 'k') + "\\n\":1,kind:1}";
    ASSERT_FALSE(read(long_key));
    EXPECT_EQ(msg.kind, ClientMessageKind::INPUT);
}

TEST_F(JsonReaderTest, EscapedKeysMatchFields) {
    ASSERT_FALSE(read(R"({"\u006bind":2})"));
    EXPECT_EQ(msg.kind, ClientMessageKind::CHAT);
}

TEST_F(JsonReaderTest, AbsentKeysKeepZero) {
    msg.previous_player_id = 99;
    ASSERT_FALSE(read(R"({"kind":1})"));
    EXPECT_EQ(msg.previous_player_id, 0u);
    EXPECT_FALSE(msg.input.up);
    EXPECT_EQ(msg.input.mouse_x, 0.0f);
    EXPECT_TRUE(msg.player_name.empty());
}

// An older client never sends the reconnection secret; a newer one may send it empty. The host
// tells the two apart, so the member must read as absent only when its key is.
TEST_F(JsonReaderTest, TheReconnectionSecretIsAbsentEmptyOrGiven) {
    ASSERT_FALSE(read(R"({"kind":0,"player_name":"Ann"})"));
    EXPECT_FALSE(msg.reconnect_secret.has_value());
    ASSERT_FALSE(read(R"({"kind":0,"player_name":"Ann","reconnect_secret":""})"));
    ASSERT_TRUE(msg.reconnect_secret.has_value());
    EXPECT_EQ(*msg.reconnect_secret, "");
    ASSERT_FALSE(read(R"({reconnect_secret:'0af3',kind:0})"));
    EXPECT_EQ(msg.reconnect_secret.value_or("?"), "0af3");
    EXPECT_EQ(kind_of(R"({"kind":0,"reconnect_secret":null})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":0,"reconnect_secret":7})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"reconnect_secret":"a","reconnect_secret":"a"})"), JsonErrorKind::Duplicate_Key);
}

TEST_F(JsonReaderTest, DuplicateKeysAreRejected) {
    EXPECT_EQ(kind_of(R"({"kind":1,"kind":1})"), JsonErrorKind::Duplicate_Key);
    EXPECT_EQ(kind_of(R"({kind:1,'kind':1})"), JsonErrorKind::Duplicate_Key);
    EXPECT_EQ(kind_of(R"({"input":{"up":true,"down":false,"up":false}})"), JsonErrorKind::Duplicate_Key);
    const JsonError e = read(R"({"kind":1,"kind":2})");
    EXPECT_EQ(e.offset, 10u);
    EXPECT_EQ(json_error_text(e), "Duplicate_Key at byte 10");
}

TEST_F(JsonReaderTest, TypeMismatches) {
    EXPECT_EQ(kind_of(R"({"kind":null})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":"1"})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":1.5})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":1.0})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":1e2})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":Infinity})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":NaN})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":true})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"player_name":5})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"player_name":null})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"input":[]})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"input":null})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"input":{"up":1}})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"input":{"up":"true"}})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"input":{"keys":{}}})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"input":{"keys":[1]}})"), JsonErrorKind::Type_Mismatch);
}

TEST_F(JsonReaderTest, IntegerRanges) {
    ASSERT_FALSE(read(R"({"previous_player_id":4294967295})"));
    EXPECT_EQ(msg.previous_player_id, 4294967295u);
    ASSERT_FALSE(read(R"({"previous_player_id":-0})"));
    EXPECT_EQ(kind_of(R"({"previous_player_id":4294967296})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"previous_player_id":-1})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"previous_player_id":0x100000000})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"previous_player_id":99999999999999999999999})"), JsonErrorKind::Type_Mismatch);
    ASSERT_FALSE(read(R"({"kind":-9223372036854775808})"));
    EXPECT_EQ(static_cast<int64_t>(msg.kind), INT64_MIN);
    EXPECT_EQ(kind_of(R"({"kind":9223372036854775808})"), JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(kind_of(R"({"kind":-9223372036854775809})"), JsonErrorKind::Type_Mismatch);
}

TEST_F(JsonReaderTest, LetterKeysAtMost26) {
    std::string keys;
    for (int i = 0; i < 26; ++i) keys += i ? ",{}" : "{}";
    ASSERT_FALSE(read("{input:{keys:[" + keys + "]}}"));
    EXPECT_EQ(kind_of("{input:{keys:[" + keys + ",{}]}}"), JsonErrorKind::Type_Mismatch);
    ASSERT_FALSE(read("{input:{keys:[{},{},{just_pressed:true}]}}"));
    EXPECT_TRUE(msg.input.keys[2].just_pressed);
    EXPECT_FALSE(msg.input.keys[3].just_pressed);
}

TEST_F(JsonReaderTest, SyntaxErrors) {
    EXPECT_EQ(kind_of(""), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{kind:1"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{kind 1}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{,}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{kind:1,,}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{kind:01}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{kind:1x}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{message:\"a\nb\"}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{message:\"abc}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{message:\"\\x4\"}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{message:\"\\u12\"}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{message:\"\\1\"}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{/* open"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{x:[1 2]}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{x:nul}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{x:{a 1}}"), JsonErrorKind::Syntax);
    EXPECT_EQ(kind_of("{x:[1,,2]}"), JsonErrorKind::Syntax);
}

TEST_F(JsonReaderTest, TopLevelMustBeOneObject) {
    EXPECT_EQ(kind_of("[]"), JsonErrorKind::Not_Object);
    EXPECT_EQ(kind_of("1"), JsonErrorKind::Not_Object);
    EXPECT_EQ(kind_of("null"), JsonErrorKind::Not_Object);
    EXPECT_EQ(kind_of("{}{}"), JsonErrorKind::Trailing_Data);
    EXPECT_EQ(kind_of("{} x"), JsonErrorKind::Trailing_Data);
    EXPECT_FALSE(read("  {}  // fine\n"));
}

TEST_F(JsonReaderTest, DepthLimitCountsSkippedValues) {
    // The top-level object is level 1, so 31 more levels are allowed under it.
    EXPECT_FALSE(read("{x:" + nested(31) + "}"));
    EXPECT_EQ(kind_of("{x:" + nested(32) + "}"), JsonErrorKind::Too_Deep);
    EXPECT_FALSE(read("{x:" + nested(30, "{a:1}") + "}"));
    EXPECT_EQ(kind_of("{x:" + nested(31, "{}") + "}"), JsonErrorKind::Too_Deep);
    // Inside a known record the record's own levels count too: input is level 2.
    EXPECT_FALSE(read("{input:{x:" + nested(30) + "}}"));
    EXPECT_EQ(kind_of("{input:{x:" + nested(31) + "}}"), JsonErrorKind::Too_Deep);
    EXPECT_FALSE(read("{input:{keys:[{x:" + nested(28) + "}]}}"));
    EXPECT_EQ(kind_of("{input:{keys:[{x:" + nested(29) + "}]}}"), JsonErrorKind::Too_Deep);
}

TEST_F(JsonReaderTest, HugeNestingIsRejectedWithoutRecursion) {
    // A megabyte of brackets must come back as an error, not a stack overflow.
    EXPECT_EQ(kind_of("{x:" + std::string(1 << 20, '[')), JsonErrorKind::Too_Deep);
    EXPECT_EQ(kind_of(std::string(1 << 20, '{')), JsonErrorKind::Syntax);
}

TEST_F(JsonReaderTest, ClientMessageRoundTrip) {
    ClientMessage in;
    in.kind = ClientMessageKind::INPUT;
    in.player_name = "R\xc3\xa9mi \"the\" \xce\xa9\xf0\x9f\x98\x80\t\x01";
    in.previous_player_id = 123456;
    in.input.down = in.input.mouse_middle = in.input.escape = true;
    in.input.mouse_x = 1279.75f;
    in.input.mouse_y = -0.25f;
    in.input.backspace.just_released = true;
    for (int i = 0; i < LETTER_KEY_COUNT; i += 3) in.input.keys[static_cast<size_t>(i)].is_down = true;
    in.input.keys[25].just_pressed = true;
    in.message = "chat";
    in.settings_command = "push 3";
    std::string text;
    write_json(text, in);
    ASSERT_FALSE(read(text)) << json_error_text(read(text));
    EXPECT_EQ(msg.kind, in.kind);
    EXPECT_EQ(msg.player_name, in.player_name);
    EXPECT_EQ(msg.previous_player_id, in.previous_player_id);
    EXPECT_EQ(msg.message, in.message);
    EXPECT_EQ(msg.settings_command, in.settings_command);
    EXPECT_EQ(msg.input.mouse_x, in.input.mouse_x);
    EXPECT_EQ(msg.input.mouse_y, in.input.mouse_y);
    EXPECT_TRUE(msg.input.down && msg.input.mouse_middle && msg.input.escape);
    EXPECT_FALSE(msg.input.up || msg.input.mouse_left || msg.input.space);
    EXPECT_TRUE(msg.input.backspace.just_released);
    for (size_t i = 0; i < LETTER_KEY_COUNT; ++i) EXPECT_EQ(msg.input.keys[i].is_down, i % 3 == 0) << i;
    EXPECT_TRUE(msg.input.keys[25].just_pressed);
    // Writing the decoded message again gives the same bytes.
    std::string again;
    write_json(again, msg);
    EXPECT_EQ(again, text);
}

TEST_F(JsonReaderTest, ServerMessageRoundTrip) {
    ServerMessage in;
    in.kind = ServerMessageKind::DRAW_COMMANDS;
    in.event.kind = EventKind::PLAY_SOUND;
    in.event.sound_id = 12;
    in.event.volume = 0.75f;
    in.event.world_width = -5;
    in.event.player_name = "p";
    for (int i = 0; i < 5; ++i) {
        DrawCommand c;
        c.kind = static_cast<DrawCommandKind>(i);
        c.x = 10.5f * static_cast<float>(i);
        c.color = {static_cast<uint8_t>(i), 2, 3, 255};
        c.text = i % 2 ? "odd \xe2\x82\xac" : "";
        c.font_size = 20 + i;
        c.asset_id = static_cast<uint16_t>(1000 + i);
        c.flip_y = i == 4;
        in.commands.push_back(c);
    }
    std::string text;
    write_json(text, in);
    ServerMessage out;
    ASSERT_FALSE(read_json(text, out, &arena));
    std::string again;
    write_json(again, out);
    EXPECT_EQ(again, text);
    ASSERT_EQ(out.commands.size(), 5u);
    EXPECT_EQ(out.commands[3].text, "odd \xe2\x82\xac");
    EXPECT_EQ(out.commands[4].color[0], 4);
}

TEST_F(JsonReaderTest, ColorIsAtMostFourBytes) {
    ServerMessage out;
    ASSERT_FALSE(read_json(R"({commands:[{color:[1,2]}]})", out, &arena));
    EXPECT_EQ(out.commands[0].color, (Color{1, 2, 0, 0}));
    EXPECT_EQ(read_json(R"({commands:[{color:[1,2,3,4,5]}]})", out, &arena).kind, JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(read_json(R"({commands:[{color:[256,0,0,0]}]})", out, &arena).kind, JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(read_json(R"({commands:[{color:[-1]}]})", out, &arena).kind, JsonErrorKind::Type_Mismatch);
    EXPECT_EQ(read_json(R"({commands:[{color:{}}]})", out, &arena).kind, JsonErrorKind::Type_Mismatch);
    EXPECT_TRUE(out.commands.empty()); // a rejected message leaves no commands behind
}

TEST(JsonReaderMemory, RejectedMessageReturnsItsStrings) {
    // A counting resource shows that every string of a rejected message is handed back.
    struct Counting : std::pmr::memory_resource {
        long outstanding = 0;
        void* do_allocate(size_t n, size_t a) override {
            outstanding += static_cast<long>(n);
            return std::pmr::new_delete_resource()->allocate(n, a);
        }
        void do_deallocate(void* p, size_t n, size_t a) override {
            outstanding -= static_cast<long>(n);
            std::pmr::new_delete_resource()->deallocate(p, n, a);
        }
        bool do_is_equal(const memory_resource& o) const noexcept override { return this == &o; }
    } counting;
    ClientMessage m;
    EXPECT_TRUE(read_json(R"({player_name:"abc",message:"\u00e9",kind:"x"})", m, &counting));
    EXPECT_EQ(counting.outstanding, 0);
    ASSERT_FALSE(read_json(R"({player_name:"abc",message:"\u00e9"})", m, &counting));
    EXPECT_EQ(counting.outstanding, 5);
    counting.deallocate(const_cast<char*>(m.player_name.data()), m.player_name.size(), 1);
    counting.deallocate(const_cast<char*>(m.message.data()), m.message.size(), 1);
}

} // namespace
} // namespace cog

namespace cog {
namespace {

// A reader told how many commands it holds stops there instead of growing the list.
TEST(JsonReaderLimits, ACommandListPastItsCapIsRefusedAtTheCap) {
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    EXPECT_FALSE(read_json(R"({kind:1,commands:[{},{},{}]})", message, &arena, 3));
    EXPECT_EQ(message.commands.size(), 3u);
    const JsonError error = read_json(R"({kind:1,commands:[{},{},{},{}]})", message, &arena, 3);
    EXPECT_EQ(error.kind, JsonErrorKind::Too_Many);
    EXPECT_TRUE(message.commands.empty());
    EXPECT_LE(message.commands.capacity(), 4u);
}

} // namespace
} // namespace cog

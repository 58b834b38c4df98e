// Byte-exact checks of the JSON writer: whole messages, f32 text and string escaping.
#include "shared/protocol/json.h"
#include "shared/protocol/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

namespace cog {
namespace {

std::string f32_text(float v) {
    char buf[64];
    char* end = number_text::write_f32(buf, v);
    return std::string(buf, end);
}

std::string printf_text(float v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.8f", static_cast<double>(v));
    return buf;
}

std::string encode(const ServerMessage& m) {
    std::string out;
    write_json(out, m);
    return out;
}

// The text of an EVENT message whose only non-zero field is a player name.
std::string name_json(std::string_view name) {
    ServerMessage m;
    m.event.kind = EventKind::PLAYER_JOINED;
    m.event.player_name = name;
    std::string text = encode(m);
    const std::string key = "\"player_name\":";
    const size_t start = text.find(key) + key.size();
    const size_t end = text.find(",\"message\":", start);
    return text.substr(start, end - start);
}

TEST(JsonWriter, InitEventIsExactly186Bytes) {
    ServerMessage m;
    m.kind = ServerMessageKind::EVENT;
    m.event.kind = EventKind::INIT;
    m.event.client_id = 3;
    m.event.world_width = 1280;
    m.event.world_height = 720;
    const std::string text = encode(m);
    EXPECT_EQ(text,
              "{\"kind\":0,\"event\":{\"kind\":0,\"client_id\":3,\"world_width\":1280,\"world_height\":720,"
              "\"player_id\":0,\"player_name\":\"\",\"message\":\"\",\"sender_id\":0,\"sound_id\":0,"
              "\"volume\":0.00000000},\"commands\":[]}");
    EXPECT_EQ(text.size(), 186u);

    // The seat's secret is added at the end only when there is one; a client that knows
    // nothing of it skips the unknown key.
    m.event.reconnect_secret = "00ff";
    EXPECT_EQ(encode(m), text.substr(0, text.size() - 16) + ",\"reconnect_secret\":\"00ff\"},\"commands\":[]}");
    ClientMessage login;
    login.player_name = "Ann";
    std::string plain, keeping;
    write_json(plain, login);
    EXPECT_EQ(plain.find("reconnect_secret"), std::string::npos);
    login.reconnect_secret = "";
    write_json(keeping, login);
    EXPECT_EQ(keeping, plain.substr(0, plain.size() - 1) + R"(,"reconnect_secret":""})");
}

TEST(JsonWriter, EmptyDrawCommandsKeepsTheZeroEvent) {
    ServerMessage m;
    m.kind = ServerMessageKind::DRAW_COMMANDS;
    EXPECT_EQ(encode(m),
              "{\"kind\":1,\"event\":{\"kind\":0,\"client_id\":0,\"world_width\":0,\"world_height\":0,"
              "\"player_id\":0,\"player_name\":\"\",\"message\":\"\",\"sender_id\":0,\"sound_id\":0,"
              "\"volume\":0.00000000},\"commands\":[]}");
}

TEST(JsonWriter, DrawCommandHasEveryMemberInOrder) {
    ServerMessage m;
    m.kind = ServerMessageKind::DRAW_COMMANDS;
    DrawCommand c;
    c.kind = DrawCommandKind::SPRITE_PRO;
    c.x = -2.5f;
    c.y = 0.7f;
    c.width = 1280;
    c.height = 0.1f;
    c.color = {255, 0, 7, 128};
    c.text = "hi";
    c.font_size = -12;
    c.x2 = 1;
    c.y2 = 0.5f;
    c.asset_id = 65535;
    c.rotation = 90;
    c.scale_x = 2;
    c.scale_y = 0.25f;
    c.flip_x = true;
    c.flip_y = false;
    m.commands.push_back(c);
    m.commands.push_back(DrawCommand{});
    const std::string text = encode(m);
    const std::string first =
        "{\"kind\":5,\"x\":-2.50000000,\"y\":0.69999999,\"width\":1280.00000000,\"height\":0.10000000,"
        "\"color\":[255,0,7,128],\"text\":\"hi\",\"font_size\":-12,\"x2\":1.00000000,\"y2\":0.50000000,"
        "\"asset_id\":65535,\"rotation\":90.00000000,\"scale_x\":2.00000000,\"scale_y\":0.25000000,"
        "\"flip_x\":true,\"flip_y\":false}";
    const std::string zero =
        "{\"kind\":0,\"x\":0.00000000,\"y\":0.00000000,\"width\":0.00000000,\"height\":0.00000000,"
        "\"color\":[0,0,0,0],\"text\":\"\",\"font_size\":0,\"x2\":0.00000000,\"y2\":0.00000000,"
        "\"asset_id\":0,\"rotation\":0.00000000,\"scale_x\":0.00000000,\"scale_y\":0.00000000,"
        "\"flip_x\":false,\"flip_y\":false}";
    EXPECT_NE(text.find("\"commands\":[" + first + "," + zero + "]}"), std::string::npos) << text;
}

TEST(JsonWriter, ClientMessageListsAll26Keys) {
    ClientMessage m;
    m.kind = ClientMessageKind::INPUT;
    m.previous_player_id = 4294967295u;
    m.input.keys[25].just_released = true;
    m.input.backspace.is_down = true;
    m.input.mouse_x = 640.5f;
    std::string text;
    write_json(text, m);
    EXPECT_EQ(text.rfind("{\"kind\":1,\"player_name\":\"\",\"previous_player_id\":4294967295,\"input\":{\"up\":false,", 0),
              0u);
    EXPECT_NE(text.find("\"mouse_x\":640.50000000,"), std::string::npos);
    EXPECT_NE(text.find("\"backspace\":{\"is_down\":true,\"just_pressed\":false,\"just_released\":false},\"keys\":["),
              std::string::npos);
    size_t objects = 0;
    for (size_t at = text.find("{\"is_down\""); at != std::string::npos; at = text.find("{\"is_down\"", at + 1)) ++objects;
    EXPECT_EQ(objects, 27u); // backspace and the 26 letters
    EXPECT_NE(text.find("\"just_released\":true}]},\"message\":\"\",\"settings_command\":\"\"}"), std::string::npos);
}

TEST(JsonWriter, AppendsToExistingText) {
    std::string out = "prefix";
    ServerMessage m;
    write_json(out, m);
    EXPECT_EQ(out.rfind("prefix{\"kind\":0,", 0), 0u);
    EXPECT_EQ(out.back(), '}');
}

TEST(JsonWriter, LargeListGrowsTheBufferCorrectly) {
    // Long texts of control bytes (six output bytes each) force regrowth in the middle of the list.
    ServerMessage m, plain;
    m.kind = plain.kind = ServerMessageKind::DRAW_COMMANDS;
    const std::string long_text(5000, '\x01');
    for (int i = 0; i < 50; ++i) {
        DrawCommand c;
        c.kind = DrawCommandKind::TEXT;
        c.x = static_cast<float>(i);
        plain.commands.push_back(c);
        c.text = long_text;
        m.commands.push_back(c);
    }
    const std::string text = encode(m);
    EXPECT_EQ(text.size(), encode(plain).size() + 50 * 5000 * 6);
    EXPECT_NE(text.find("\\u0001\",\"font_size\":0,\"x2\""), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 3), "}]}");
}

TEST(PictureWriter, ACommandAloneIsWrittenAsInTheWholeMessage) {
    DrawCommand zero, negative_zero, text;
    negative_zero.x = -0.0f;
    text.kind = DrawCommandKind::TEXT;
    text.text = "x\",\"y\x01";
    ServerMessage message{ServerMessageKind::DRAW_COMMANDS, Event{}, DrawList{zero, negative_zero, text}};
    PictureBuffer commands{'['};
    for (const DrawCommand& c : message.commands) {
        write_command_json(commands, c);
        commands.push_back(',');
    }
    commands.back() = ']';
    const std::string whole = encode(message);
    EXPECT_NE(whole.find(std::string_view(commands.data(), commands.size())), std::string::npos) << whole;
    EXPECT_FALSE(same_command(zero, negative_zero));
}

TEST(F32Text, Examples) {
    EXPECT_EQ(f32_text(0.0f), "0.00000000");
    EXPECT_EQ(f32_text(-0.0f), "-0.00000000");
    EXPECT_EQ(f32_text(1280.0f), "1280.00000000");
    EXPECT_EQ(f32_text(-2.5f), "-2.50000000");
    EXPECT_EQ(f32_text(0.5f), "0.50000000");
    EXPECT_EQ(f32_text(0.7f), "0.69999999");
    EXPECT_EQ(f32_text(0.1f), "0.10000000");
    EXPECT_EQ(f32_text(1.0f), "1.00000000");
}

TEST(F32Text, TiesRoundToEven) {
    EXPECT_EQ(f32_text(0.146484375f), "0.14648438");
    EXPECT_EQ(f32_text(0.001953125f), "0.00195312");
    EXPECT_EQ(f32_text(0.005859375f), "0.00585938");
    EXPECT_EQ(f32_text(-0.001953125f), "-0.00195312");
}

TEST(F32Text, ExtremesMatchPrintf) {
    const float cases[] = {
        std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
        std::numeric_limits<float>::min(),        1e-9f, 4.9999999e-9f, 5e-9f, 5.0000001e-9f, 0.99999999f,
        0.999999995f,                             9.999999e-9f, 1e9f, 16777216.0f, 16777217.0f, 123456.789f,
        std::ldexp(1.0f, 63),                     std::ldexp(1.0f, 64), std::ldexp(1.0f, 100),
        std::numeric_limits<float>::max(),        -std::numeric_limits<float>::max(),
        std::nextafter(1.0f, 0.0f),               std::nextafter(0.5f, 1.0f), 3.0517578125e-05f,
    };
    for (float v : cases) EXPECT_EQ(f32_text(v), printf_text(v)) << "bits " << std::hex << std::bit_cast<uint32_t>(v);
}

TEST(F32Text, NonFiniteIsWrittenAsZero) {
    EXPECT_EQ(f32_text(std::numeric_limits<float>::quiet_NaN()), "0.00000000");
    EXPECT_EQ(f32_text(-std::numeric_limits<float>::quiet_NaN()), "0.00000000");
    EXPECT_EQ(f32_text(std::numeric_limits<float>::infinity()), "0.00000000");
    EXPECT_EQ(f32_text(-std::numeric_limits<float>::infinity()), "0.00000000");
}

TEST(F32Text, RandomBitPatternsMatchPrintf) {
    std::mt19937 rng(12345);
    int mismatches = 0;
    for (int i = 0; i < 2000000 && mismatches < 10; ++i) {
        const float v = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        if (!std::isfinite(v)) continue;
        const std::string ours = f32_text(v), theirs = printf_text(v);
        if (ours != theirs) {
            ++mismatches;
            ADD_FAILURE() << "bits " << std::hex << std::bit_cast<uint32_t>(v) << ": " << ours << " vs " << theirs;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(F32Text, RandomWorldCoordinatesMatchPrintf) {
    // The values the host really sends: positions and sizes in the world, scales, volumes.
    std::mt19937 rng(777);
    std::uniform_real_distribution<float> world(-2000.0f, 2000.0f);
    for (int i = 0; i < 1000000; ++i) {
        const float v = world(rng);
        ASSERT_EQ(f32_text(v), printf_text(v)) << std::hex << std::bit_cast<uint32_t>(v);
    }
}

TEST(JsonStringEscape, ControlAndQuoteCharacters) {
    EXPECT_EQ(name_json("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(name_json("\b\t\n\f\r"), "\"\\b\\t\\n\\f\\r\"");
    EXPECT_EQ(name_json(std::string_view("\x00\x01\x1f\x0b", 4)), "\"\\u0000\\u0001\\u001f\\u000b\"");
    EXPECT_EQ(name_json("\x7f"), "\"\\u007f\"");
    EXPECT_EQ(name_json(" ~/<>&'"), "\" ~/<>&'\"");
}

TEST(JsonStringEscape, LatinOneRangeIsRawExceptSoftHyphen) {
    EXPECT_EQ(name_json("\xc3\xa9"), "\"\xc3\xa9\"");    // U+00E9
    EXPECT_EQ(name_json("\xc2\xa1"), "\"\xc2\xa1\"");    // U+00A1, first raw one
    EXPECT_EQ(name_json("\xc3\xbf"), "\"\xc3\xbf\"");    // U+00FF, last raw one
    EXPECT_EQ(name_json("\xc2\xad"), "\"\\u00ad\"");     // U+00AD soft hyphen
    EXPECT_EQ(name_json("\xc2\xa0"), "\"\\u00a0\"");     // U+00A0
    EXPECT_EQ(name_json("\xc2\x80"), "\"\\u0080\"");
}

TEST(JsonStringEscape, WiderCharactersAreEscaped) {
    EXPECT_EQ(name_json("\xce\xa9"), "\"\\u03a9\"");                 // U+03A9
    EXPECT_EQ(name_json("\xc4\x80"), "\"\\u0100\"");                 // U+0100
    EXPECT_EQ(name_json("\xef\xbf\xbf"), "\"\\uffff\"");             // U+FFFF
    EXPECT_EQ(name_json("\xf0\x9f\x98\x80"), "\"\\ud83d\\ude00\"");  // U+1F600
    EXPECT_EQ(name_json("\xf4\x8f\xbf\xbf"), "\"\\udbff\\udfff\"");  // U+10FFFF
}

TEST(JsonStringEscape, InvalidBytesAreHexEscapedOneByOne) {
    EXPECT_EQ(name_json("a\xff" "b"), "\"a\\xffb\"");
    EXPECT_EQ(name_json("\x80"), "\"\\x80\"");                              // lone continuation
    EXPECT_EQ(name_json("\xc3"), "\"\\xc3\"");                              // truncated at the end
    EXPECT_EQ(name_json("\xe2\x82z"), "\"\\xe2\\x82z\"");                   // truncated in the middle
    EXPECT_EQ(name_json("\xc0\xaf"), "\"\\xc0\\xaf\"");                     // overlong '/'
    EXPECT_EQ(name_json("\xe0\x80\xaf"), "\"\\xe0\\x80\\xaf\"");            // overlong 3-byte
    EXPECT_EQ(name_json("\xed\xa0\x80"), "\"\\xed\\xa0\\x80\"");            // encoded surrogate
    EXPECT_EQ(name_json("\xf4\x90\x80\x80"), "\"\\xf4\\x90\\x80\\x80\"");   // above U+10FFFF
    EXPECT_EQ(name_json("\xf8\x88\x80\x80\x80"), "\"\\xf8\\x88\\x80\\x80\\x80\"");
}

} // namespace
} // namespace cog

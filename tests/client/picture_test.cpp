// A recorded DRAW_COMMANDS message read back into canvas calls, and the handling of host events.
#include "client/picture/picture.h"
#include "client/picture/picture_limits.h"
#include "client/session/session.h"
#include "shared/assets/assets.h"
#include "shared/protocol/json.h"

#include <gtest/gtest.h>

#include <memory_resource>
#include <string>
#include <vector>

namespace cog::client {
namespace {

// One line per canvas call, so a whole picture compares as a list.
class RecordingCanvas final : public Canvas {
public:
    std::vector<std::string> calls;
    std::vector<SpritePlacement> sprites;

    void fill_rect(float x, float y, float w, float h, Color c) override {
        calls.push_back("rect " + nums({x, y, w, h}) + colour(c));
    }
    void text(float x, float y, std::string_view t, int size, Color c) override {
        calls.push_back("text " + nums({x, y}) + std::to_string(size) + " '" + std::string(t) + "'" + colour(c));
    }
    void sprite(const SpritePlacement& p) override {
        calls.push_back("sprite " + std::to_string(p.asset));
        sprites.push_back(p);
    }
    void circle(float x, float y, float r, Color c) override { calls.push_back("circle " + nums({x, y, r}) + colour(c)); }
    void line(float x1, float y1, float x2, float y2, float t, Color c) override {
        calls.push_back("line " + nums({x1, y1, x2, y2, t}) + colour(c));
    }

private:
    static std::string nums(std::initializer_list<float> values) {
        std::string s;
        for (float v : values) s += std::to_string(static_cast<int>(v)) + " ";
        return s;
    }
    static std::string colour(Color c) {
        return " #" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) + "," +
               std::to_string(c[3]);
    }
};

// Commands as the host writes them (fields it leaves zero are omitted here; the reader zeroes them).
constexpr const char* RECORDED = R"({"kind":1,"event":{"kind":0},"commands":[
  {"kind":0,"x":0.00000000,"y":0.00000000,"width":1280.00000000,"height":720.00000000,"color":[20,20,30,255]},
  {"kind":1,"x":390.00000000,"y":212.00000000,"color":[200,200,200,255],"text":"Player - Ann","font_size":24},
  {"kind":4,"x":95.00000000,"y":135.00000000,"width":450.00000000,"height":450.00000000,"color":[255,255,255,255],"asset_id":6,"scale_x":1.0,"scale_y":1.0},
  {"kind":5,"x":240.00000000,"y":550.00000000,"color":[255,255,255,255],"asset_id":24,"rotation":-12.50000000,"scale_x":0.146484375,"scale_y":0.146484375},
  {"kind":5,"x":640.00000000,"y":360.00000000,"color":[255,128,0,200],"asset_id":9,"rotation":3600,"scale_x":-0.09765625,"scale_y":0.09765625,"flip_y":true},
  {"kind":2,"x":100,"y":100,"width":25,"color":[1,2,3,4]},
  {"kind":3,"x":10,"y":20,"x2":30,"y2":40,"color":[5,6,7,8]}
]})";

TEST(Picture, RecordedListBecomesCanvasCallsInOrder) {
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    ASSERT_FALSE(read_json(RECORDED, message, &arena));
    RecordingCanvas canvas;
    draw_picture(message.commands, {}, canvas);
    const std::vector<std::string> expected = {
        "rect 0 0 1280 720  #20,20,30,255",
        "text 390 212 24 'Player - Ann' #200,200,200,255",
        "sprite 6",
        "sprite 24",
        "sprite 9",
        "circle 100 100 25  #1,2,3,4",
        "line 10 20 30 40 1  #5,6,7,8", // no thickness given: one unit
    };
    EXPECT_EQ(canvas.calls, expected);
    ASSERT_EQ(canvas.sprites.size(), 3u);

    const SpritePlacement& body = canvas.sprites[0]; // SPRITE fills its rectangle, unturned
    EXPECT_FLOAT_EQ(body.x, 95);
    EXPECT_FLOAT_EQ(body.width, 450);
    EXPECT_FLOAT_EQ(body.rotation_deg, 0);
    EXPECT_EQ(body.tint, (Color{255, 255, 255, 255}));
}

TEST(Picture, SpriteProIsScaledFromItsFrameAndTurnsAroundItsAnchor) {
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    ASSERT_FALSE(read_json(RECORDED, message, &arena));
    RecordingCanvas canvas;
    draw_picture(message.commands, {}, canvas);
    ASSERT_EQ(canvas.sprites.size(), 3u);

    // A standing body: 150/1024 of the frame, standing on (240, 550) and tilting around its feet.
    const SpritePlacement& standing = canvas.sprites[1];
    EXPECT_FLOAT_EQ(standing.width, 150);
    EXPECT_FLOAT_EQ(standing.height, 150);
    EXPECT_FLOAT_EQ(standing.x + standing.pivot_x, 240);
    EXPECT_FLOAT_EQ(standing.y + standing.pivot_y, 550);
    EXPECT_FLOAT_EQ(standing.y + standing.height, 550);
    EXPECT_FLOAT_EQ(standing.rotation_deg, -12.5f);

    // A flying mask: centred, a negative scale mirrors like flip_x, tint kept, ten turns are none.
    const SpritePlacement& mask = canvas.sprites[2];
    EXPECT_FLOAT_EQ(mask.width, 100);
    EXPECT_FLOAT_EQ(mask.x, 590);
    EXPECT_FLOAT_EQ(mask.y, 310);
    EXPECT_TRUE(mask.flip_x);
    EXPECT_TRUE(mask.flip_y);
    EXPECT_FLOAT_EQ(mask.rotation_deg, 0);
    EXPECT_EQ(mask.tint, (Color{255, 128, 0, 200}));

    // The door game's verdict figure: 400 wide at scale 1.5625, centred on its point.
    DrawCommand verdict;
    verdict.kind = DrawCommandKind::SPRITE_PRO;
    verdict.asset_id = static_cast<uint16_t>(AssetId::ROBOT_SHOT_STANDING);
    verdict.x = 640;
    verdict.y = 250;
    verdict.scale_x = verdict.scale_y = 1.5625f;
    const SpritePlacement shot = place_sprite_pro(verdict);
    EXPECT_FLOAT_EQ(shot.width, 400);
    EXPECT_FLOAT_EQ(shot.x, 440);
    EXPECT_FLOAT_EQ(shot.y, 50);
}

class RecordingSound final : public SoundOutput {
public:
    std::vector<std::string> calls;
    void play(uint16_t id, float volume) override { calls.push_back("play " + std::to_string(id) + " " + std::to_string(volume)); }
    void stop_music() override { calls.push_back("stop"); }
};

Event event_of(const std::string& text, std::pmr::memory_resource* arena) {
    ServerMessage m;
    EXPECT_FALSE(read_json(text, m, arena)) << text;
    return m.event;
}

TEST(Session, EventsSetTheSeatAndTheWorldPlaySoundsAndShowAnswers) {
    std::pmr::monotonic_buffer_resource arena;
    Session session;
    Overlay overlay;
    overlay.status = "lost";
    RecordingSound sound;
    const auto handle = [&](const std::string& text) { handle_event(session, overlay, sound, event_of(text, &arena), 1.0); };
    handle(R"({"kind":0,"event":{"kind":0,"client_id":7,"world_width":1920,"world_height":1080}})");
    EXPECT_EQ(session.client_id, 7u);
    EXPECT_TRUE(session.logged_in);
    EXPECT_TRUE(overlay.status.empty());
    EXPECT_FLOAT_EQ(session.world.width, 1920);
    EXPECT_FLOAT_EQ(session.world.height, 1080);

    // An INIT without an id, or with a world no window can hold, changes nothing it should not.
    session.logged_in = false;
    handle(R"({"kind":0,"event":{"kind":0,"client_id":0,"world_width":1280,"world_height":720}})");
    EXPECT_EQ(session.client_id, 7u);
    EXPECT_FALSE(session.logged_in);
    EXPECT_FLOAT_EQ(session.world.width, 1920);
    handle(R"({"kind":0,"event":{"kind":0,"client_id":8,"world_width":-5,"world_height":2000000}})");
    EXPECT_EQ(session.client_id, 8u);
    EXPECT_FLOAT_EQ(session.world.width, 1920);
    handle(R"({"kind":0,"event":{"kind":42,"client_id":9}})");
    EXPECT_EQ(session.client_id, 8u);

    handle(R"({"kind":0,"event":{"kind":4,"sound_id":5,"volume":1.0}})");
    handle(R"({"kind":0,"event":{"kind":5}})");
    EXPECT_EQ(sound.calls, (std::vector<std::string>{"play 5 1.000000", "stop"}));

    handle(R"({"kind":0,"event":{"kind":3,"message":"=== INFO ===\nStack: 7/16"}})");
    ASSERT_EQ(overlay.chat.size(), 2u); // one overlay line per line of the answer
    EXPECT_EQ(overlay.chat.front().text, "=== INFO ===");
    EXPECT_EQ(overlay.chat.back().text, "Stack: 7/16");
    drop_expired(overlay, 1.0 + CHAT_SHOW_S);
    EXPECT_TRUE(overlay.chat.empty());

    // The game's account of a finished game: every line stays until the whole can have been read.
    const std::string story =
        R"(The Overseer was Ann.\nTyping pool: Bob was shot - a HUMAN.\nMetro: Player 4 was shot - a ROBOT.)";
    handle(R"({"kind":0,"event":{"kind":3,"message":")" + story + R"("}})");
    ASSERT_EQ(overlay.chat.size(), 3u);
    drop_expired(overlay, 1.0 + CHAT_SHOW_S);
    EXPECT_EQ(overlay.chat.size(), 3u);
    const double read_s = 2 + static_cast<double>(story.size() - 2) / CHAT_READ_BYTES_PER_S; // two escapes
    drop_expired(overlay, 1.0 + read_s - 0.01);
    EXPECT_EQ(overlay.chat.size(), 3u);
    drop_expired(overlay, 1.0 + read_s);
    EXPECT_TRUE(overlay.chat.empty());

    // A flood of lines keeps only the last few, each cut to a line's length at a whole letter.
    std::string flood;
    for (int i = 0; i < 100000; ++i) flood += "line " + std::to_string(i) + "\\n";
    flood += std::string(CHAT_LINE_MAX_BYTES - 1, 'x') + "\u00e9";
    handle(R"({"kind":0,"event":{"kind":3,"message":")" + flood + R"("}})");
    ASSERT_EQ(overlay.chat.size(), CHAT_MAX_LINES);
    EXPECT_EQ(overlay.chat.front().text, "line 99991");
    EXPECT_EQ(overlay.chat.back().text, std::string(CHAT_LINE_MAX_BYTES - 1, 'x'));
}

// Values no screen sends, clamped or skipped before they reach the renderer.
TEST(Picture, ExtremeGeometryIsClampedAndDegenerateCommandsAreSkipped) {
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    ASSERT_FALSE(read_json(R"({"kind":1,"commands":[
      {"kind":0,"x":-3e38,"y":3e38,"width":3e38,"height":3e38,"color":[1,1,1,255]},
      {"kind":0,"x":10,"y":10,"width":-50,"height":20},
      {"kind":0,"x":10,"y":10,"width":50,"height":0},
      {"kind":1,"x":5,"y":5,"text":"huge","font_size":2147483647},
      {"kind":1,"x":5,"y":5,"text":"tiny","font_size":-3},
      {"kind":1,"x":5,"y":5,"text":"","font_size":20},
      {"kind":4,"x":0,"y":0,"width":-1,"height":10,"asset_id":6},
      {"kind":5,"x":640,"y":360,"asset_id":9,"scale_x":3e38,"scale_y":-3e38,"rotation":3e38},
      {"kind":5,"x":640,"y":360,"asset_id":9,"scale_x":0,"scale_y":1},
      {"kind":2,"x":1e30,"y":0,"width":3e38},
      {"kind":2,"x":0,"y":0,"width":-4},
      {"kind":3,"x":0,"y":0,"x2":3e38,"y2":-3e38,"width":3e38}
    ]})", message, &arena));
    RecordingCanvas canvas;
    draw_picture(message.commands, {}, canvas);
    // The sprite at the largest scale and the disc of the largest radius are images no renderer
    // should be asked to build: they are not drawn.
    const std::vector<std::string> expected = {
        "rect -16384 16384 32768 32768  #1,1,1,255",
        "text 5 5 400 'huge' #0,0,0,0",
        "line 0 0 16384 -16384 1024  #0,0,0,0",
    };
    EXPECT_EQ(canvas.calls, expected);
    const SpritePlacement mask = place_sprite_pro(message.commands[7]);
    EXPECT_FLOAT_EQ(mask.width, 1024 * MAX_SPRITE_SCALE);
    EXPECT_TRUE(mask.flip_y);
    EXPECT_GE(mask.rotation_deg, -360.0f);
    EXPECT_LE(mask.rotation_deg, 360.0f);
}

TEST(Picture, APictureMayCoverOnlySoMuchOfTheWorld) {
    DrawList commands;
    const auto rect = [](float x, float y, float width, float height) {
        DrawCommand c;
        c.x = x;
        c.y = y;
        c.width = width;
        c.height = height;
        return c;
    };
    const DrawCommand full = rect(0, 0, 1280, 720);
    const DrawCommand off_world = rect(-5000, -5000, 4000, 4000);
    for (int i = 0; i < 10; ++i) commands.push_back(full);
    for (int i = 0; i < 1000; ++i) commands.push_back(off_world); // outside the world: costs nothing
    EXPECT_EQ(commands_within_budget(commands, {}), commands.size());
    for (int i = 0; i < 1000; ++i) commands.push_back(full);
    const size_t kept = commands_within_budget(commands, {});
    EXPECT_EQ(kept, 1010 + static_cast<size_t>(MAX_COVERED_WORLDS) - 10);
    // A larger announced world fits more of the same rectangles.
    EXPECT_GT(commands_within_budget(commands, {2560, 1440}), kept);

    // Images cost their whole scaled and turned size, however little of them shows: a sprite
    // at three times its 1024-unit frame spans over ten worlds even far outside the world.
    const auto sprite_pro = [](float x, float scale, float rotation) {
        DrawCommand c;
        c.kind = DrawCommandKind::SPRITE_PRO;
        c.asset_id = 9;
        c.x = x;
        c.y = 360;
        c.scale_x = c.scale_y = scale;
        c.rotation = rotation;
        return c;
    };
    const DrawList far_out(4, sprite_pro(-15000, 3, 0));
    EXPECT_EQ(commands_within_budget(far_out, {}), 3u);

    // A text counts by its length: a hundred letters cover far more than one.
    DrawList texts, letters;
    DrawCommand text;
    text.kind = DrawCommandKind::TEXT;
    text.font_size = 100;
    const std::string long_text(100, 'W');
    for (int i = 0; i < 1000; ++i) {
        text.text = long_text;
        texts.push_back(text);
        text.text = "W";
        letters.push_back(text);
    }
    EXPECT_LT(commands_within_budget(texts, {}), commands_within_budget(letters, {}));
    EXPECT_LT(commands_within_budget(texts, {}), texts.size());

    // A text of wide glyphs left of the world reaches into it: it counts what it covers there.
    DrawCommand wide;
    wide.kind = DrawCommandKind::TEXT;
    wide.text = "@@@@@@@@@@@@@@";
    wide.font_size = 400;
    wide.x = -4000;
    const DrawList wide_texts(1000, wide);
    EXPECT_LT(commands_within_budget(wide_texts, {}), 200u);
}

// An image too large to build is skipped, whatever part of it would show; the rest is drawn.
TEST(Picture, ImagesTooLargeOnceScaledAndTurnedAreNotDrawn) {
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    ASSERT_FALSE(read_json(R"({"kind":1,"commands":[
      {"kind":5,"x":640,"y":360,"asset_id":9,"scale_x":3,"scale_y":3},
      {"kind":5,"x":640,"y":360,"asset_id":10,"scale_x":3,"scale_y":3,"rotation":45},
      {"kind":5,"x":640,"y":360,"asset_id":11,"scale_x":32,"scale_y":0.01,"rotation":-45},
      {"kind":5,"x":640,"y":360,"asset_id":12,"scale_x":32,"scale_y":0.01,"rotation":180},
      {"kind":4,"x":-860,"y":-1140,"width":3000,"height":3000,"asset_id":13},
      {"kind":4,"x":0,"y":0,"width":4000,"height":3000,"asset_id":14},
      {"kind":2,"x":640,"y":360,"width":1500},
      {"kind":2,"x":640,"y":360,"width":1800}
    ]})", message, &arena));
    RecordingCanvas canvas;
    draw_picture(message.commands, {}, canvas);
    const std::vector<std::string> expected = {"sprite 9", "sprite 12", "sprite 13", "circle 640 360 1500  #0,0,0,0"};
    EXPECT_EQ(canvas.calls, expected);
    // A world announced larger takes larger images, all but the long thin one turned on its corner.
    RecordingCanvas large;
    draw_picture(message.commands, {2560, 1440}, large);
    EXPECT_EQ(large.calls.size(), message.commands.size() - 1);
    // What is skipped costs nothing: the budget lets the whole picture through.
    EXPECT_EQ(commands_within_budget(message.commands, {}), message.commands.size());
}

} // namespace
} // namespace cog::client

// Pictures sent as changes: whatever a viewer's pictures do from one frame to the next, the change
// the host sends, applied to the picture it sent before, is exactly the new picture; and the
// picture goes whole whenever the viewer's previous one cannot be relied on.
#include "server/pictures/picture_changes.h"
#include "shared/protocol/json.h"
#include "shared/protocol/picture_change.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <map>
#include <memory>
#include <memory_resource>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace cog {
namespace {

// Command n: a text, so that kept commands must bring their texts along, with floats whose
// short forms must read back the same (a fraction, a negative zero). Command 100 * k + n is
// command n moved down by k, command 1000 * k + n command n moved right by k.
DrawCommand command(int n) {
    if (n >= 1000) {
        DrawCommand moved = command(n % 1000);
        moved.x += static_cast<float>(n / 1000);
        return moved;
    }
    if (n >= 100) {
        DrawCommand moved = command(n % 100);
        moved.y += static_cast<float>(n / 100);
        return moved;
    }
    static std::vector<std::unique_ptr<std::string>> texts;
    texts.push_back(std::make_unique<std::string>("line " + std::to_string(n)));
    DrawCommand c;
    c.kind = DrawCommandKind::TEXT;
    c.x = static_cast<float>(n) + 0.5f;
    c.y = 100;
    c.rotation = -0.0f;
    c.text = *texts.back();
    c.font_size = 20;
    c.color = {255, 255, 255, 255};
    return c;
}

// A decoded picture that owns its bytes: the base for the next change.
struct Shown {
    std::string body;
    std::unique_ptr<std::pmr::monotonic_buffer_resource> arena = std::make_unique<std::pmr::monotonic_buffer_resource>();
    ServerMessage message;
};

std::unique_ptr<Shown> shown_from(const DrawList& commands) {
    auto shown = std::make_unique<Shown>();
    ServerMessage whole{ServerMessageKind::DRAW_COMMANDS, Event{}, DrawList(commands.begin(), commands.end())};
    write_json(shown->body, whole);
    EXPECT_FALSE(read_json(shown->body, shown->message, shown->arena.get()));
    return shown;
}

struct Step {
    const char* name;
    std::vector<int> picture;
    uint64_t screen = 1;
    bool new_connection = false;
    bool requested = false; // the client asked for a whole picture
    bool whole = false;     // expected to travel whole
    bool edited = false;    // expected to carry edits of kept commands
};

TEST(PictureChanges, EachPictureIsRebuiltExactlyFromThePreviousOne) {
    const std::vector<Step> steps = {
        {"first picture", {1, 2, 3, 4, 5, 6, 7, 8}, 1, false, false, true},
        {"unchanged", {1, 2, 3, 4, 5, 6, 7, 8}},
        {"grown", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"one changed in the middle", {1, 2, 3, 40, 5, 6, 7, 8, 9, 10}, 1, false, false, false, true},
        {"two moved", {1, 2, 3, 40, 105, 6, 7, 8, 209, 10}, 1, false, false, false, true},
        {"moved back", {1, 2, 3, 40, 5, 6, 7, 8, 9, 10}, 1, false, false, false, true},
        {"shrunk", {3, 40, 5, 6}},
        {"reordered", {5, 6, 3, 40}},
        {"a command repeated", {5, 5, 5, 6, 6, 3}},
        {"emptied", {}},
        {"from empty", {1, 2}},
        {"screen change", {1, 2}, 2, false, false, true},
        {"after the screen change", {1, 2, 3}, 2},
        {"reconnection", {1, 2, 3}, 2, true, false, true},
        {"after the reconnection", {2, 3}, 2},
        {"asked for whole", {2, 3}, 2, false, true, true},
        {"all new: two differ in a few members, one more", {11, 12, 13}, 2, false, false, false, true},
    };
    std::pmr::monotonic_buffer_resource arena; // outlives the encoder's reference to the last list
    PictureEncoder encoder;
    PictureChanges changes;
    auto channel = std::make_shared<web::WebChannel>();
    std::unique_ptr<Shown> shown;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.new_connection) channel = std::make_shared<web::WebChannel>();
        if (step.requested) changes.forget(7);
        DrawList list(&arena);
        for (int n : step.picture) list.push_back(command(n));
        const DrawList expected = list;
        encoder.begin_frame();
        const EncodedPicture picture = encoder.encode(std::move(list));
        const std::string_view body = changes.frame_for(7, channel, step.screen, picture, encoder).substr(4);
        const std::string_view whole_body = encoder.whole_frame().frame.substr(4);

        const bool went_whole = body.starts_with(R"({"kind":1,)");
        ASSERT_EQ(went_whole, step.whole) << body;
        if (went_whole) {
            EXPECT_EQ(body, whole_body);
            shown = shown_from(expected);
            continue;
        }
        EXPECT_LT(body.size(), whole_body.size());
        EXPECT_EQ(body.find(R"("edits":)") != std::string_view::npos, step.edited) << body;
        std::pmr::monotonic_buffer_resource strings;
        PictureChange change;
        ASSERT_FALSE(read_json(body, change, &strings)) << body;
        DrawList rebuilt;
        ASSERT_EQ(apply_picture_change(shown->message.commands, change, rebuilt, 16384), ChangeError::None) << body;
        std::string rebuilt_body;
        write_json(rebuilt_body, ServerMessage{ServerMessageKind::DRAW_COMMANDS, Event{}, rebuilt});
        ASSERT_EQ(rebuilt_body, whole_body);
        shown = shown_from(rebuilt);
    }
}

// What is kept for each viewer goes with its connection at the end of the frame: the memory does
// not grow with every player who ever connected.
TEST(PictureChanges, ViewersGoneAtTheEndOfAFrameAreLetGo) {
    std::pmr::monotonic_buffer_resource arena;
    PictureEncoder encoder;
    PictureChanges changes;
    std::vector<std::shared_ptr<web::WebChannel>> channels;
    encoder.begin_frame();
    DrawList list(&arena);
    list.push_back(command(1));
    const EncodedPicture picture = encoder.encode(std::move(list));
    for (uint32_t id = 1; id <= 100; ++id) {
        channels.push_back(std::make_shared<web::WebChannel>());
        changes.frame_for(id, channels.back(), 1, picture, encoder);
    }
    EXPECT_EQ(changes.viewer_count(), 100u);
    std::map<uint32_t, ClientSocket> still_connected;
    still_connected[8];
    changes.end_frame(still_connected);
    EXPECT_EQ(changes.viewer_count(), 1u);
}

// Viewers who see the same figure move in one frame share the edit worked out for the first,
// and a whole change when their pictures differ only where it keeps commands in place; each
// still rebuilds exactly its own picture, frame after frame: also when the figure ends up alike
// for two from places that differed (frame 2: moved down for 7 and 8, down and left for 9), when
// a command one kept is edited for another (frame 3), and when a new command or a kept one
// differs (frame 4).
TEST(PictureChanges, ViewersSharingAMoveEachRebuildTheirOwnPicture) {
    const std::vector<std::vector<int>> frames_of_7 = {{1, 2, 3}, {1, 102, 3}, {1, 202, 3}, {1, 202, 103}, {1, 202, 103, 50}};
    const std::vector<std::vector<int>> frames_of_8 = {{1, 2, 4}, {1, 102, 4}, {1, 202, 4}, {1, 202, 4}, {1, 202, 4, 51}};
    const std::vector<std::vector<int>> frames_of_9 = {{1, 2, 5}, {1, 1002, 5}, {1, 202, 5}, {1, 202, 5}, {1, 202, 6, 51}};
    std::pmr::monotonic_buffer_resource arena;
    PictureEncoder encoder;
    PictureChanges changes;
    const auto channel_7 = std::make_shared<web::WebChannel>(), channel_8 = std::make_shared<web::WebChannel>(),
               channel_9 = std::make_shared<web::WebChannel>();
    std::unique_ptr<Shown> shown_7, shown_8, shown_9;
    std::map<uint32_t, ClientSocket> connected;
    for (uint32_t id : {7u, 8u, 9u}) connected[id];
    for (size_t f = 0; f < frames_of_7.size(); ++f) {
        SCOPED_TRACE(f);
        encoder.begin_frame();
        for (const auto& [id, frame, channel, shown] :
             {std::tuple{7u, &frames_of_7[f], &channel_7, &shown_7}, std::tuple{8u, &frames_of_8[f], &channel_8, &shown_8},
              std::tuple{9u, &frames_of_9[f], &channel_9, &shown_9}}) {
            DrawList list(&arena);
            for (int n : *frame) list.push_back(command(n));
            const DrawList expected = list;
            const EncodedPicture picture = encoder.encode(std::move(list));
            const std::string_view body = changes.frame_for(id, *channel, 1, picture, encoder).substr(4);
            if (f == 0) {
                ASSERT_TRUE(body.starts_with(R"({"kind":1,)"));
                *shown = shown_from(expected);
                continue;
            }
            std::pmr::monotonic_buffer_resource strings;
            PictureChange change;
            ASSERT_FALSE(read_json(body, change, &strings)) << body;
            DrawList rebuilt;
            ASSERT_EQ(apply_picture_change((*shown)->message.commands, change, rebuilt, 16384), ChangeError::None);
            std::string rebuilt_body;
            write_json(rebuilt_body, ServerMessage{ServerMessageKind::DRAW_COMMANDS, Event{}, rebuilt});
            ASSERT_EQ(rebuilt_body, encoder.whole_frame().frame.substr(4)) << body;
            *shown = shown_from(rebuilt);
        }
        changes.end_frame(connected);
    }
    // 8 is sent 7's change in frames 1 and 2, 9 is sent 8's in frame 3.
    EXPECT_EQ(changes.changes_written(), 9u);
}

// Pictures that change at random from frame to frame, members and texts alike, with texts made
// to confuse a reader of the command text (commas before quotes, escaped quotes, braces): each
// change, applied to the picture before, is the new picture byte for byte.
TEST(PictureChanges, RandomlyChangingPicturesAreRebuiltExactly) {
    static const char* const texts[] = {"a,", "a,b", "x\",\"y", "{\"kind\":1}", "", "\xc3\xbc,\"", "\\", ",\"x\":", "line"};
    std::mt19937 random(20261207);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
    std::vector<DrawCommand> now;
    for (int i = 0; i < 30; ++i) now.push_back(command(i));
    std::pmr::unsynchronized_pool_resource arena;
    PictureEncoder encoder;
    PictureChanges changes;
    const auto channel = std::make_shared<web::WebChannel>();
    std::unique_ptr<Shown> shown;
    size_t edited = 0;
    for (int frame = 0; frame < 300; ++frame) {
        SCOPED_TRACE(frame);
        for (int k = pick(6); k-- > 0 && !now.empty();) {
            DrawCommand& c = now[static_cast<size_t>(pick(static_cast<int>(now.size())))];
            switch (pick(9)) {
            case 0: c.y += 0.25f * static_cast<float>(pick(9) - 4); break;
            case 1: c.x = static_cast<float>(pick(2000)) / 7.0f; break;
            case 2: c.text = texts[pick(std::size(texts))]; break;
            case 3: c.color[static_cast<size_t>(pick(4))] = static_cast<uint8_t>(pick(256)); break;
            case 4: c.kind = static_cast<DrawCommandKind>(pick(6)); break;
            case 5: c.flip_x = !c.flip_x; break;
            case 6: c.font_size = pick(3) == 0 ? 0 : pick(100); break;
            case 7: now.insert(now.begin() + pick(static_cast<int>(now.size()) + 1), command(pick(60))); break;
            case 8: now.erase(now.begin() + pick(static_cast<int>(now.size()))); break;
            }
        }
        encoder.begin_frame();
        const EncodedPicture picture = encoder.encode(DrawList(now.begin(), now.end(), &arena));
        const std::string_view body = changes.frame_for(7, channel, 1, picture, encoder).substr(4);
        if (body.starts_with(R"({"kind":1,)")) {
            shown = shown_from(DrawList(now.begin(), now.end()));
            continue;
        }
        ASSERT_TRUE(shown);
        std::pmr::monotonic_buffer_resource strings;
        PictureChange change;
        ASSERT_FALSE(read_json(body, change, &strings)) << body;
        edited += change.edits.size();
        DrawList rebuilt;
        ASSERT_EQ(apply_picture_change(shown->message.commands, change, rebuilt, 16384), ChangeError::None) << body;
        std::string rebuilt_body;
        write_json(rebuilt_body, ServerMessage{ServerMessageKind::DRAW_COMMANDS, Event{}, rebuilt});
        ASSERT_EQ(rebuilt_body, encoder.whole_frame().frame.substr(4)) << body;
        shown = shown_from(rebuilt);
    }
    EXPECT_GT(edited, 100u); // most changes were edits, not new commands
}

// The frame's pictures, each written from the commands it shares with the viewer before it,
// go whole exactly as the writer writes them, with each command's place and hash: for a viewer
// seeing what the one before saw, a text changed, a float differing only in its sign, fewer
// commands, more, none, and after a picture over the frame limit.
TEST(PictureEncoder, EachViewersWholePictureIsExactlyWhatTheWriterWrites) {
    std::vector<DrawCommand> base;
    for (int n = 0; n < 40; ++n) base.push_back(command(n));
    std::vector<std::vector<DrawCommand>> viewers(7, base);
    viewers[2][3].text = "YOU";
    viewers[3][5].y = -0.0f;
    viewers[3][6].y = 0.0f;
    viewers[4].resize(25);
    viewers[5].push_back(command(99));
    viewers[6].clear();
    const std::string long_text(MAX_FRAME_BODY, 'a');
    std::vector<DrawCommand> too_large = base;
    too_large[0].text = long_text;
    std::pmr::monotonic_buffer_resource arena;
    PictureEncoder encoder;
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        encoder.begin_frame();
        if (frame == 2) viewers.insert(viewers.begin() + 1, too_large);
        for (const std::vector<DrawCommand>& commands : viewers) {
            const EncodedPicture picture = encoder.encode(DrawList(commands.begin(), commands.end(), &arena));
            const ServerMessage message{ServerMessageKind::DRAW_COMMANDS, Event{}, DrawList(commands.begin(), commands.end())};
            std::string expected;
            write_json(expected, message);
            ASSERT_EQ(picture.body_bytes, expected.size());
            if (expected.size() > MAX_FRAME_BODY) {
                EXPECT_EQ(picture.error, ProtocolError::MessageTooLarge);
                continue;
            }
            const WholeFrame whole = encoder.whole_frame();
            ASSERT_EQ(whole.frame.substr(4), expected);
            EXPECT_EQ(whole.frame.substr(0, 4), std::string({0, 0, static_cast<char>(expected.size() >> 8),
                                                              static_cast<char>(expected.size() & 0xff)}));
            const PictureSnapshot& hashed = encoder.hashed_picture();
            ASSERT_EQ(whole.command_starts.size(), commands.size() + 1);
            for (size_t m = 0; m < commands.size(); ++m) {
                PictureBuffer text;
                write_command_json(text, commands[m]);
                const std::string_view command_text(text.data(), text.size());
                EXPECT_EQ(whole.frame.substr(4 + whole.command_starts[m], text.size()), command_text) << m;
                EXPECT_EQ(hashed.command(m), command_text) << m;
                EXPECT_EQ(hashed.hashes[m], XXH3_64bits(text.data(), text.size())) << m;
            }
        }
    }
}

} // namespace
} // namespace cog

// Pictures sent as changes: whatever a viewer's pictures do from one frame to the next, the change
// the host sends, applied to the picture it sent before, is exactly the new picture; and the
// picture goes whole whenever the viewer's previous one cannot be relied on.
#include "server/pictures/picture_changes.h"
#include "shared/protocol/json.h"
#include "shared/protocol/picture_change.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace cog {
namespace {

// Command n: a text, so that kept commands must bring their texts along, with floats whose
// short forms must read back the same (a fraction, a negative zero). Command 100 * k + n is
// command n moved down by k.
DrawCommand command(int n) {
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
        const std::string_view whole_body = picture.frame.substr(4);

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

// Viewers who see the same figure move in one frame share the edit worked out for the first;
// each still rebuilds exactly its own picture, frame after frame.
TEST(PictureChanges, ViewersSharingAMoveEachRebuildTheirOwnPicture) {
    const std::vector<std::vector<int>> frames_of_7 = {{1, 2, 3}, {1, 102, 3}, {1, 202, 3}, {1, 202, 103}};
    const std::vector<std::vector<int>> frames_of_8 = {{1, 2, 4}, {1, 102, 4}, {1, 202, 4}, {1, 202, 4}};
    std::pmr::monotonic_buffer_resource arena;
    PictureEncoder encoder;
    PictureChanges changes;
    const auto channel_7 = std::make_shared<web::WebChannel>(), channel_8 = std::make_shared<web::WebChannel>();
    std::unique_ptr<Shown> shown_7, shown_8;
    for (size_t f = 0; f < frames_of_7.size(); ++f) {
        SCOPED_TRACE(f);
        encoder.begin_frame();
        for (const auto& [id, frame, channel, shown] :
             {std::tuple{7u, &frames_of_7[f], &channel_7, &shown_7}, std::tuple{8u, &frames_of_8[f], &channel_8, &shown_8}}) {
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
            ASSERT_EQ(rebuilt_body, picture.frame.substr(4)) << body;
            *shown = shown_from(rebuilt);
        }
    }
}

} // namespace
} // namespace cog

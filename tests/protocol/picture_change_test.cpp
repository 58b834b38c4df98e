// A picture change can only rebuild a picture out of the previous one and its own commands:
// every index it carries is checked before it is used.
#include "shared/protocol/picture_change.h"

#include <gtest/gtest.h>

#include <limits>

namespace cog {
namespace {

struct HostileChange {
    const char* what;
    uint32_t base;
    std::vector<uint32_t> keep;
    size_t fresh;
    std::vector<uint32_t> edit_at;
    size_t edits;
    ChangeError expected;
};

DrawCommand rect(float x) {
    DrawCommand command;
    command.x = x;
    return command;
}

TEST(PictureChange, EveryIndexIsCheckedAgainstWhatItPointsInto) {
    constexpr uint32_t HUGE_INDEX = std::numeric_limits<uint32_t>::max();
    const std::vector<DrawCommand> previous = {rect(0), rect(1), rect(2)};
    const HostileChange table[] = {
        {"all kept", 3, {0, 0, 3}, 0, {}, 0, ChangeError::None},
        {"one new between kept runs", 3, {0, 0, 1, 2, 1, 2}, 1, {2}, 1, ChangeError::None},
        {"made for another picture", 2, {0, 0, 2}, 0, {}, 0, ChangeError::BaseMismatch},
        {"a run cut short", 3, {0, 0}, 0, {}, 0, ChangeError::BadRun},
        {"from just past the end", 3, {0, 3, 1}, 0, {}, 0, ChangeError::BadRun},
        {"from far past the end", 3, {0, HUGE_INDEX, 1}, 0, {}, 0, ChangeError::BadRun},
        {"count past the end", 3, {0, 2, 2}, 0, {}, 0, ChangeError::BadRun},
        {"count wrapping around", 3, {0, 1, HUGE_INDEX}, 0, {}, 0, ChangeError::BadRun},
        {"an empty run", 3, {0, 0, 0}, 0, {}, 0, ChangeError::BadRun},
        {"overlapping runs", 3, {0, 0, 2, 1, 2, 1}, 0, {}, 0, ChangeError::BadRun},
        {"a gap with nothing to fill it", 3, {2, 0, 1}, 1, {}, 0, ChangeError::MissingCommands},
        {"a place far away", 3, {HUGE_INDEX, 0, 1}, 0, {}, 0, ChangeError::MissingCommands},
        {"an edit past the new picture", 3, {0, 0, 3}, 0, {3}, 1, ChangeError::BadEdit},
        {"an edit far away", 3, {0, 0, 3}, 0, {HUGE_INDEX}, 1, ChangeError::BadEdit},
        {"edits out of order", 3, {0, 0, 3}, 0, {1, 1}, 2, ChangeError::BadEdit},
        {"a place without an edit", 3, {0, 0, 3}, 0, {0}, 0, ChangeError::BadEdit},
        {"more than the reader takes", 3, {0, 0, 3}, 8, {}, 0, ChangeError::TooManyCommands},
    };
    for (const HostileChange& row : table) {
        PictureChange change;
        change.base = row.base;
        change.keep.assign(row.keep.begin(), row.keep.end());
        for (size_t i = 0; i < row.fresh; ++i) change.commands.push_back(rect(10.0f + static_cast<float>(i)));
        change.edit_at.assign(row.edit_at.begin(), row.edit_at.end());
        change.edits.resize(row.edits);
        DrawList out;
        EXPECT_EQ(apply_picture_change(previous, change, out, 8), row.expected) << row.what;
        if (row.expected != ChangeError::None) continue;
        for (const DrawCommand& command : out) // only commands of the two inputs
            EXPECT_TRUE(command.x == 0 || command.x == 1 || command.x == 2 || command.x == 10) << row.what;
    }
}

} // namespace
} // namespace cog

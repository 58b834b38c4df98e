// A picture rebuilt from the one shown and a PICTURE_CHANGE. It owns its commands and the bytes
// of their texts, so it stays whole whatever becomes of the messages it was made from, and two
// stores take turns, the one shown being the base of the next change.
#pragma once

#include "shared/protocol/messages.h"
#include "shared/protocol/picture_change.h"

#include <cstddef>
#include <memory_resource>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace cog::client {

enum class ChangeResult { Ok, Undecodable, Refused };

class ChangedPicture {
public:
    explicit ChangedPicture(size_t max_commands);
    ChangedPicture(const ChangedPicture&) = delete;
    ChangedPicture& operator=(const ChangedPicture&) = delete;

    // Decodes `body` and applies it to `previous`. Ok: commands() is the new picture. Refused:
    // the change does not fit `previous` (the reason in `why`); nothing shown changes.
    ChangeResult apply(std::string_view body, std::span<const DrawCommand> previous, ChangeError& why);
    std::span<const DrawCommand> commands() const { return stores_[current_].commands; }

private:
    struct Store {
        DrawList commands;
        std::vector<char> texts; // the bytes every command's text points at
    };
    void own_texts(Store& store);

    size_t max_commands_;
    std::vector<char> change_bytes_; // the decoded change's texts
    std::optional<std::pmr::monotonic_buffer_resource> change_strings_;
    PictureChange change_;
    Store stores_[2];
    int current_ = 0;
};

} // namespace cog::client

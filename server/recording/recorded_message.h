// What a recording keeps of a player's message: the message as the host understood it, without
// the bytes it ignores (padding, unknown keys) and without the room's admin token, which the
// recording holds once, in its header. A replay puts the token back.
#pragma once

#include <memory_resource>
#include <string>
#include <string_view>

namespace cog {

// Stand in for the token an admin claim offered: the room's token, or anything else.
inline constexpr std::string_view RECORDED_RIGHT_TOKEN = "<the room's token>";
inline constexpr std::string_view RECORDED_WRONG_TOKEN = "***";

// The bytes to record for a message body the host decoded and acted on: the shorter of the body
// and its exact re-encoding, and always the re-encoding, token replaced, for a command that may
// carry a token. `scratch` holds the result when it is not `body` itself; `strings` is emptied.
std::string_view recorded_message(std::string_view body, std::string_view admin_token, std::string& scratch,
                                  std::pmr::monotonic_buffer_resource& strings);

// The body a replay feeds for a recorded one: an admin claim with the right token gets the
// recorded room's token back; everything else as recorded.
std::string replayed_message(std::string_view recorded, std::string_view admin_token);

} // namespace cog

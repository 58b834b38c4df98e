// Fixed rooms in front of the door's own room source.
#include "door/static_rooms.h"

#include "door/room_codes.h"

#include <arpa/inet.h>
#include <charconv>
#include <netinet/in.h>

namespace cog::door {

std::optional<std::pair<std::string, RoomAddress>> parse_static_room(std::string_view text) {
    const size_t equals = text.find('=');
    const size_t colon = text.rfind(':');
    if (equals == std::string_view::npos || colon == std::string_view::npos || colon < equals) return std::nullopt;
    const auto code = normalize_code(text.substr(0, equals));
    std::string host(text.substr(equals + 1, colon - equals - 1));
    const std::string_view port_text = text.substr(colon + 1);
    unsigned port = 0;
    const auto [end, error] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (!code || error != std::errc() || end != port_text.data() + port_text.size() || port == 0 || port > 65535)
        return std::nullopt;
    in6_addr v6{};
    in_addr v4{};
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        if (inet_pton(AF_INET6, host.c_str(), &v6) != 1) return std::nullopt;
    } else if (inet_pton(AF_INET, host.c_str(), &v4) != 1) {
        return std::nullopt;
    }
    return std::pair{*code, RoomAddress{host, static_cast<uint16_t>(port)}};
}

RoomStartError StaticRooms::start_room(std::string_view code) {
    if (fixed_.count(code) > 0) return RoomStartError::CodeTaken;
    return behind_.start_room(code);
}

RoomLookup StaticRooms::find_room(std::string_view code) const {
    if (const auto it = fixed_.find(code); it != fixed_.end()) return {RoomState::Ready, it->second};
    return behind_.find_room(code);
}

void StaticRooms::look_up(std::string_view code) {
    if (fixed_.count(code) == 0) behind_.look_up(code);
}

void StaticRooms::set_players(std::string_view code, int players) {
    if (fixed_.count(code) == 0) behind_.set_players(code, players);
}

} // namespace cog::door

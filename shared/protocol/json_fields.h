// The one list of every wire record's JSON members (name and field, in wire order); the writer
// and the reader both walk these lists, so names and order cannot drift apart.
#pragma once

#include "shared/protocol/messages.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <tuple>

namespace cog::json_fields {

template <typename Rec, typename T>
struct Field {
    using record_type = Rec;
    using value_type = T;
    std::string_view name;
    T Rec::*member;
};

template <typename Rec, typename T>
constexpr Field<Rec, T> field(std::string_view name, T Rec::*member) {
    return {name, member};
}

// Specialised for each record below; a type without a specialisation is not a record.
template <typename Rec>
struct Fields;

template <>
struct Fields<InputKey> {
    static constexpr auto list = std::make_tuple(
        field("is_down", &InputKey::is_down),
        field("just_pressed", &InputKey::just_pressed),
        field("just_released", &InputKey::just_released));
};

template <>
struct Fields<InputState> {
    static constexpr auto list = std::make_tuple(
        field("up", &InputState::up),
        field("down", &InputState::down),
        field("left", &InputState::left),
        field("right", &InputState::right),
        field("mouse_x", &InputState::mouse_x),
        field("mouse_y", &InputState::mouse_y),
        field("mouse_left", &InputState::mouse_left),
        field("mouse_right", &InputState::mouse_right),
        field("mouse_middle", &InputState::mouse_middle),
        field("space", &InputState::space),
        field("enter", &InputState::enter),
        field("shift", &InputState::shift),
        field("ctrl", &InputState::ctrl),
        field("escape", &InputState::escape),
        field("backspace", &InputState::backspace),
        field("keys", &InputState::keys));
};

template <>
struct Fields<ClientMessage> {
    static constexpr auto list = std::make_tuple(
        field("kind", &ClientMessage::kind),
        field("player_name", &ClientMessage::player_name),
        field("previous_player_id", &ClientMessage::previous_player_id),
        field("input", &ClientMessage::input),
        field("message", &ClientMessage::message),
        field("settings_command", &ClientMessage::settings_command),
        field("reconnect_secret", &ClientMessage::reconnect_secret));
};

template <>
struct Fields<Event> {
    static constexpr auto list = std::make_tuple(
        field("kind", &Event::kind),
        field("client_id", &Event::client_id),
        field("world_width", &Event::world_width),
        field("world_height", &Event::world_height),
        field("player_id", &Event::player_id),
        field("player_name", &Event::player_name),
        field("message", &Event::message),
        field("sender_id", &Event::sender_id),
        field("sound_id", &Event::sound_id),
        field("volume", &Event::volume),
        field("reconnect_secret", &Event::reconnect_secret));
};

template <>
struct Fields<DrawCommand> {
    static constexpr auto list = std::make_tuple(
        field("kind", &DrawCommand::kind),
        field("x", &DrawCommand::x),
        field("y", &DrawCommand::y),
        field("width", &DrawCommand::width),
        field("height", &DrawCommand::height),
        field("color", &DrawCommand::color),
        field("text", &DrawCommand::text),
        field("font_size", &DrawCommand::font_size),
        field("x2", &DrawCommand::x2),
        field("y2", &DrawCommand::y2),
        field("asset_id", &DrawCommand::asset_id),
        field("rotation", &DrawCommand::rotation),
        field("scale_x", &DrawCommand::scale_x),
        field("scale_y", &DrawCommand::scale_y),
        field("flip_x", &DrawCommand::flip_x),
        field("flip_y", &DrawCommand::flip_y));
};

template <>
struct Fields<ServerMessage> {
    static constexpr auto list = std::make_tuple(
        field("kind", &ServerMessage::kind),
        field("event", &ServerMessage::event),
        field("commands", &ServerMessage::commands));
};

template <>
struct Fields<PictureChange> {
    static constexpr auto list = std::make_tuple(
        field("kind", &PictureChange::kind),
        field("base", &PictureChange::base),
        field("keep", &PictureChange::keep),
        field("commands", &PictureChange::commands),
        field("edit_at", &PictureChange::edit_at),
        field("edits", &PictureChange::edits));
};

template <typename T>
concept Record = requires { Fields<T>::list; };

// A member that newer peers add: written only when present, read as present when its key is.
template <typename T>
inline constexpr bool is_optional = false;
template <typename T>
inline constexpr bool is_optional<std::optional<T>> = true;

// The number of members of an aggregate: the most initialisers it accepts from a value that
// converts to anything. Lets each field list be checked against its record, so a member added
// to a record cannot be left off the wire unnoticed.
struct AnyMember {
    template <typename T>
    operator T() const; // never defined: only used in unevaluated checks
};

template <typename T, typename... Given>
constexpr size_t member_count() {
    if constexpr (requires { T{Given{}..., AnyMember{}}; }) return member_count<T, Given..., AnyMember>();
    else return sizeof...(Given);
}

template <typename Rec>
inline constexpr size_t field_count = std::tuple_size_v<std::remove_cvref_t<decltype(Fields<Rec>::list)>>;

template <typename Rec, size_t I>
using field_type = typename std::remove_cvref_t<decltype(std::get<I>(Fields<Rec>::list))>::value_type;

// The names alone, in order, for matching keys at run time.
template <typename Rec>
inline constexpr auto field_names = []<size_t... I>(std::index_sequence<I...>) {
    return std::array<std::string_view, sizeof...(I)>{std::get<I>(Fields<Rec>::list).name...};
}(std::make_index_sequence<field_count<Rec>>{});

// The longest field name of all records; a key longer than this matches nothing.
inline constexpr size_t MAX_NAME_LENGTH = [] {
    size_t longest = 0;
    auto scan = [&](const auto& names) {
        for (auto n : names) longest = n.size() > longest ? n.size() : longest;
    };
    scan(field_names<InputKey>);
    scan(field_names<InputState>);
    scan(field_names<ClientMessage>);
    scan(field_names<Event>);
    scan(field_names<DrawCommand>);
    scan(field_names<ServerMessage>);
    scan(field_names<PictureChange>);
    return longest;
}();

static_assert(member_count<InputKey>() == field_count<InputKey>, "a member of InputKey is missing from its field list");
static_assert(member_count<InputState>() == field_count<InputState>, "a member of InputState is missing from its field list");
static_assert(member_count<ClientMessage>() == field_count<ClientMessage>,
              "a member of ClientMessage is missing from its field list");
static_assert(member_count<Event>() == field_count<Event>, "a member of Event is missing from its field list");
static_assert(member_count<DrawCommand>() == field_count<DrawCommand>,
              "a member of DrawCommand is missing from its field list");
static_assert(member_count<ServerMessage>() == field_count<ServerMessage>,
              "a member of ServerMessage is missing from its field list");
static_assert(member_count<PictureChange>() == field_count<PictureChange>,
              "a member of PictureChange is missing from its field list");

} // namespace cog::json_fields

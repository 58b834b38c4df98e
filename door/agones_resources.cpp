// Building the allocation request and reading GameServers out of the API server's answers.
#include "door/agones_resources.h"

#include "door/agones_json.h"

#include <arpa/inet.h>

namespace cog::door {

namespace {

bool is_numeric_address(const std::string& text) {
    in6_addr six{};
    in_addr four{};
    return inet_pton(AF_INET, text.c_str(), &four) == 1 || inet_pton(AF_INET6, text.c_str(), &six) == 1;
}

std::string percent_encoded(std::string_view text) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(HEX[byte >> 4]);
            out.push_back(HEX[byte & 15]);
        }
    }
    return out;
}

// The door runs inside the cluster, so a node's InternalIP reaches the room's host port without
// leaving the network; `address` (often the node's external one) is the fallback.
bool read_address(const JsonValue& status, std::string_view web_port_name, RoomAddress& out) {
    out = {};
    if (const JsonValue* addresses = status.get("addresses"))
        for (const JsonValue& a : addresses->items)
            if (a.get("type") && a.get("type")->string() == "InternalIP" && a.get("address") &&
                is_numeric_address(a.get("address")->text)) {
                out.host = a.get("address")->text;
                break;
            }
    if (out.host.empty() && status.get("address") && is_numeric_address(status.get("address")->text))
        out.host = status.get("address")->text;
    if (const JsonValue* ports = status.get("ports"))
        for (const JsonValue& p : ports->items) {
            const JsonValue* name = p.get("name");
            const JsonValue* port = p.get("port");
            if (name && name->string() == web_port_name && port && port->kind == JsonValue::Kind::Number &&
                port->number >= 1 && port->number <= 65535)
                out.port = static_cast<uint16_t>(port->number);
        }
    return !out.host.empty() && out.port != 0;
}

} // namespace

bool valid_room_code(std::string_view code) {
    if (code.empty() || code.size() > 16) return false;
    for (char c : code)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

std::string allocation_path(const AgonesNames& names) {
    return "/apis/allocation.agones.dev/v1/namespaces/" + percent_encoded(names.namespace_name) + "/gameserverallocations";
}

std::string room_lookup_path(const AgonesNames& names, std::string_view code) {
    std::string selector = "agones.dev/fleet=" + names.fleet + "," + names.room_label;
    if (!code.empty()) selector.append(1, '=').append(code);
    return "/apis/agones.dev/v1/namespaces/" + percent_encoded(names.namespace_name) +
           "/gameservers?labelSelector=" + percent_encoded(selector);
}

std::string allocation_body(const AgonesNames& names, std::string_view code) {
    return R"({"apiVersion":"allocation.agones.dev/v1","kind":"GameServerAllocation",)"
           R"("spec":{"selectors":[{"matchLabels":{"agones.dev/fleet":)" + json_quoted(names.fleet) +
           R"(}}],"metadata":{"labels":{)" + json_quoted(names.room_label) + ":" + json_quoted(code) + "}}}}";
}

AllocationOutcome read_allocation(std::string_view answer, std::string_view web_port_name, AllocatedRoom& room) {
    JsonValue allocation;
    if (!parse_json(answer, allocation)) return AllocationOutcome::Unreadable;
    const JsonValue* status = allocation.get("status");
    const std::string_view state = status && status->get("state") ? status->get("state")->string() : "";
    if (state == "UnAllocated" || state == "Contention") return AllocationOutcome::NoReadyRoom;
    if (state != "Allocated") return AllocationOutcome::Unreadable;
    room.game_server = status->get("gameServerName") ? status->get("gameServerName")->text : "";
    return read_address(*status, web_port_name, room.address) ? AllocationOutcome::Allocated : AllocationOutcome::Unreadable;
}

bool read_room_list(std::string_view answer, const AgonesNames& names, std::vector<ListedRoom>& rooms) {
    rooms.clear();
    JsonValue list;
    if (!parse_json(answer, list) || !list.get("items")) return false;
    for (const JsonValue& item : list.get("items")->items) {
        const JsonValue* code = item.find({"metadata", "labels", names.room_label});
        const JsonValue* state = item.find({"status", "state"});
        if (!code || !valid_room_code(code->text) || !state || state->string() != "Allocated") continue;
        const JsonValue* deleting = item.find({"metadata", "deletionTimestamp"});
        if (deleting && deleting->kind != JsonValue::Kind::Null) continue;
        ListedRoom listed{code->text, {}};
        if (const JsonValue* name = item.find({"metadata", "name"})) listed.room.game_server = name->text;
        if (!read_address(*item.get("status"), names.web_port_name, listed.room.address)) continue;
        bool seen = false;
        for (const ListedRoom& r : rooms) seen = seen || r.code == listed.code;
        if (!seen) rooms.push_back(std::move(listed));
    }
    return true;
}

} // namespace cog::door

// Allocating rooms from the fleet and finding them again by their code's label, one non-blocking
// API call at a time per room, all moved along by poll().
#include "door/agones_rooms.h"

#include "shared/log/log.h"
#include "shared/log/printable.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace cog::door {

namespace {

constexpr int64_t WARNING_PERIOD_MS = 60'000;
constexpr size_t QUOTED_BODY_BYTES = 300;

bool ok(long status) { return status >= 200 && status < 300; }

std::string answer_text(const KubeAnswer& answer) {
    if (answer.status == 0) return "no answer";
    return std::to_string(answer.status) + " " + printable(std::string_view(answer.body).substr(0, QUOTED_BODY_BYTES));
}

std::string first_line(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

} // namespace

const char* agones_setup_error_text(AgonesSetupError error) {
    switch (error) {
    case AgonesSetupError::None: return "none";
    case AgonesSetupError::NoNamespace: return "no namespace: give --namespace or run in a pod with a service account";
    case AgonesSetupError::NoToken: return "no service account token: the pod needs its service account mounted";
    }
    return "unknown";
}

AgonesSetupError complete_in_cluster(AgonesRoomsConfig& config, const InClusterPaths& paths) {
    if (config.api.api_url.empty()) {
        // As client libraries do in a pod: the service's address needs no name lookup.
        const char* host = std::getenv("KUBERNETES_SERVICE_HOST");
        const char* port = std::getenv("KUBERNETES_SERVICE_PORT");
        if (host && *host && port && *port) {
            const std::string h = host;
            config.api.api_url = "https://" + (h.find(':') != std::string::npos ? "[" + h + "]" : h) + ":" + port;
        } else {
            config.api.api_url = "https://kubernetes.default.svc";
        }
    }
    if (config.api.ca_path.empty() && config.api.api_url.starts_with("https://")) config.api.ca_path = paths.ca;
    if (config.api.token_path.empty()) config.api.token_path = paths.token;
    if (config.names.namespace_name.empty()) config.names.namespace_name = first_line(paths.namespace_file);
    if (config.names.namespace_name.empty()) return AgonesSetupError::NoNamespace;
    if (first_line(config.api.token_path).empty()) return AgonesSetupError::NoToken;
    return AgonesSetupError::None;
}

bool apply_agones_option(std::string_view name, std::string_view value, AgonesRoomsConfig& config) {
    if (name == "--k8s-api") config.api.api_url = value;
    else if (name == "--k8s-token") config.api.token_path = value;
    else if (name == "--fleet") config.names.fleet = value;
    else if (name == "--namespace") config.names.namespace_name = value;
    else if (name == "--room-label") config.names.room_label = value;
    else if (name == "--web-port-name") config.names.web_port_name = value;
    else return false;
    return true;
}

AgonesRooms::AgonesRooms(AgonesRoomsConfig config) : config_(std::move(config)), api_(config_.api) {}

bool AgonesRooms::starts_at_limit() const {
    size_t starting = 0;
    for (const auto& [code, room] : rooms_) starting += room.step == Step::CheckFree || room.step == Step::Allocating;
    return starting >= config_.max_starting;
}

RoomStartError AgonesRooms::start_room(std::string_view code) {
    if (!valid_room_code(code) || closing_) return RoomStartError::SpawnFailed;
    if (busy_until_ms_ > now_ms_ || starts_at_limit()) return RoomStartError::Full;
    auto found = rooms_.find(code);
    if (found != rooms_.end() && found->second.step != Step::Missing) return RoomStartError::CodeTaken;
    // Another door may hold the code already: it is looked up before it is allocated.
    const uint64_t call = api_.send("GET", room_lookup_path(config_.names, code), {}, now_ms_);
    if (call == 0) return RoomStartError::Full;
    std::erase(wanted_lookups_, code); // its own lookup answers that question
    Room& room = rooms_[std::string(code)];
    room = Room{Step::CheckFree, true, call, now_ms_, now_ms_, {}};
    calls_[call] = std::string(code);
    return RoomStartError::None;
}

RoomLookup AgonesRooms::find_room(std::string_view code) const {
    auto found = rooms_.find(code);
    if (found != rooms_.end()) {
        switch (found->second.step) {
        case Step::Ready: return {RoomState::Ready, found->second.where.address};
        case Step::Missing: return {};
        default: return {RoomState::Starting, {}};
        }
    }
    if (std::find(wanted_lookups_.begin(), wanted_lookups_.end(), code) != wanted_lookups_.end())
        return {RoomState::Starting, {}};
    return {};
}

void AgonesRooms::look_up(std::string_view code) {
    if (!valid_room_code(code) || closing_ || rooms_.count(code) ||
        std::find(wanted_lookups_.begin(), wanted_lookups_.end(), code) != wanted_lookups_.end())
        return;
    size_t looking = wanted_lookups_.size();
    for (const auto& [c, room] : rooms_) looking += !room.ours && room.step != Step::Ready;
    if (looking < config_.max_lookups) wanted_lookups_.emplace_back(code);
}

void AgonesRooms::send_wanted_lookups(int64_t now_ms) {
    std::vector<std::string> wanted;
    wanted.swap(wanted_lookups_);
    for (std::string& code : wanted) {
        if (rooms_.count(code)) continue;
        const uint64_t call = api_.send("GET", room_lookup_path(config_.names, code), {}, now_ms);
        if (call == 0) { // too many calls under way: the next poll tries again
            wanted_lookups_.push_back(std::move(code));
            continue;
        }
        ++counts_.lookups;
        rooms_[code] = Room{Step::LookingUp, false, call, now_ms, now_ms, {}};
        calls_[call] = std::move(code);
    }
}

void AgonesRooms::forget_missing(int64_t now_ms) {
    std::erase_if(rooms_, [&](const auto& entry) {
        return entry.second.step == Step::Missing && now_ms - entry.second.since_ms >= config_.missing_ms;
    });
}

void AgonesRooms::start_refresh(int64_t now_ms) {
    if (refresh_call_ != 0 || now_ms < next_refresh_ms_) return;
    if (std::none_of(rooms_.begin(), rooms_.end(), [](const auto& e) { return e.second.step == Step::Ready; })) return;
    next_refresh_ms_ = now_ms + config_.refresh_ms;
    // One list of every labelled room of the fleet, whatever the number of rooms.
    refresh_sent_ms_ = now_ms;
    refresh_call_ = api_.send("GET", room_lookup_path(config_.names, ""), {}, now_ms);
}

void AgonesRooms::poll(int64_t now_ms, std::vector<RoomEvent>& events) {
    now_ms_ = now_ms;
    if (!closing_) {
        send_wanted_lookups(now_ms);
        forget_missing(now_ms);
        start_refresh(now_ms);
    }
    for (const KubeAnswer& answer : api_.pump(now_ms)) on_answer(answer, now_ms, events);
}

void AgonesRooms::on_answer(const KubeAnswer& answer, int64_t now_ms, std::vector<RoomEvent>& events) {
    if (answer.id == refresh_call_) {
        refresh_call_ = 0;
        if (ok(answer.status)) on_refresh(answer, events);
        else warn_api("The check of the rooms' GameServers failed", answer, now_ms);
        return;
    }
    auto call = calls_.find(answer.id);
    if (call == calls_.end()) return;
    const std::string code = std::move(call->second);
    calls_.erase(call);
    auto room = rooms_.find(code);
    if (room != rooms_.end() && room->second.call == answer.id) on_room_answer(code, room->second, answer, now_ms, events);
}

void AgonesRooms::on_room_answer(const std::string& code, Room& room, const KubeAnswer& answer, int64_t now_ms,
                                 std::vector<RoomEvent>& events) {
    room.call = 0;
    switch (room.step) {
    case Step::CheckFree: on_check_free(code, room, answer, now_ms, events); break;
    case Step::Allocating: on_allocation(code, room, answer, now_ms, events); break;
    case Step::LookingUp: on_lookup(code, room, answer, now_ms); break;
    default: break;
    }
}

void AgonesRooms::on_check_free(const std::string& code, Room& room, const KubeAnswer& answer, int64_t now_ms,
                                std::vector<RoomEvent>& events) {
    std::vector<ListedRoom> listed;
    std::string refusal;
    if (!ok(answer.status) || !read_room_list(answer.body, config_.names, listed)) {
        refusal = "the lookup of its code failed: " + answer_text(answer);
        busy_until_ms_ = now_ms + config_.busy_ms; // the next rooms would fare no better
    } else if (!listed.empty()) {
        refusal = "the code is held by GameServer " + printable(listed.front().room.game_server);
    } else if (closing_) {
        refusal = "the door is closing";
    } else if ((room.call = api_.send("POST", allocation_path(config_.names), allocation_body(config_.names, code), now_ms)) == 0) {
        refusal = "too many calls under way";
    }
    if (!refusal.empty()) {
        ++counts_.failed;
        return fail(code, room, std::move(refusal), events);
    }
    room.step = Step::Allocating;
    room.since_ms = now_ms;
    calls_[room.call] = code;
}

void AgonesRooms::on_allocation(const std::string& code, Room& room, const KubeAnswer& answer, int64_t now_ms,
                                std::vector<RoomEvent>& events) {
    const int64_t took_ms = now_ms - room.asked_ms;
    AllocatedRoom where;
    const AllocationOutcome outcome =
        ok(answer.status) ? read_allocation(answer.body, config_.names.web_port_name, where) : AllocationOutcome::Unreadable;
    if (outcome == AllocationOutcome::NoReadyRoom || !ok(answer.status)) {
        // Refused or unanswered calls count as "no room" too: asking again at once would only
        // pile more calls onto a struggling API server.
        busy_until_ms_ = now_ms + config_.busy_ms;
        if (outcome == AllocationOutcome::NoReadyRoom) ++counts_.no_ready_room;
        else ++counts_.failed;
        LOG_WARN("[AGONES] No room for %s after %lld ms: %s (%llu without a room so far)", code.c_str(),
                 static_cast<long long>(took_ms),
                 outcome == AllocationOutcome::NoReadyRoom ? "the fleet has no Ready GameServer" : answer_text(answer).c_str(),
                 static_cast<unsigned long long>(counts_.no_ready_room + counts_.failed));
        return fail(code, room, outcome == AllocationOutcome::NoReadyRoom ? "no Ready GameServer" : answer_text(answer), events);
    }
    if (outcome != AllocationOutcome::Allocated) {
        ++counts_.failed;
        return fail(code, room, "the allocation's answer is unreadable: " + answer_text(answer), events);
    }
    ++counts_.allocated;
    counts_.allocation_ms_total += took_ms;
    room.step = Step::Ready;
    room.since_ms = now_ms;
    room.where = std::move(where);
    LOG_INFO("[AGONES] Room %s is GameServer %s at %s port %u, allocated in %lld ms", code.c_str(),
             printable(room.where.game_server).c_str(), room.where.address.host.c_str(), room.where.address.port,
             static_cast<long long>(took_ms));
    events.push_back({RoomEvent::Kind::Made, code, RoomEndReason::Exited, room.where.game_server});
}

void AgonesRooms::on_lookup(const std::string& code, Room& room, const KubeAnswer& answer, int64_t now_ms) {
    std::vector<ListedRoom> listed;
    if (!ok(answer.status) || !read_room_list(answer.body, config_.names, listed)) {
        warn_api("A room's lookup failed", answer, now_ms);
    }
    if (listed.empty()) {
        room.step = Step::Missing;
        room.since_ms = now_ms;
        return;
    }
    room.step = Step::Ready;
    room.since_ms = now_ms;
    room.where = std::move(listed.front().room);
    LOG_INFO("[AGONES] Room %s found: GameServer %s at %s port %u", code.c_str(), printable(room.where.game_server).c_str(),
             room.where.address.host.c_str(), room.where.address.port);
}

void AgonesRooms::on_refresh(const KubeAnswer& answer, std::vector<RoomEvent>& events) {
    std::vector<ListedRoom> listed;
    if (!read_room_list(answer.body, config_.names, listed)) return;
    for (auto it = rooms_.begin(); it != rooms_.end();) {
        const bool live = std::any_of(listed.begin(), listed.end(), [&](const ListedRoom& l) { return l.code == it->first; });
        // A room that became Ready after the list was asked for may be missing from it.
        if (it->second.step != Step::Ready || live || it->second.since_ms >= refresh_sent_ms_) {
            ++it;
            continue;
        }
        // Its GameServer shut down (or was deleted): the code has ended for every door.
        events.push_back({RoomEvent::Kind::Ended, it->first, RoomEndReason::Idle,
                          "GameServer " + it->second.where.game_server + " is no longer Allocated"});
        it = rooms_.erase(it);
    }
}

void AgonesRooms::fail(const std::string& code, Room& room, std::string detail, std::vector<RoomEvent>& events) {
    if (room.ours) {
        LOG_WARN("[AGONES] Room %s not made: %s", code.c_str(), detail.c_str());
        events.push_back({RoomEvent::Kind::Failed, code, RoomEndReason::Failed, std::move(detail)});
    }
    rooms_.erase(code);
}

void AgonesRooms::warn_api(const char* what, const KubeAnswer& answer, int64_t now_ms) {
    ++counts_.api_errors;
    if (last_warning_ms_ >= 0 && now_ms - last_warning_ms_ < WARNING_PERIOD_MS) {
        ++warnings_left_out_;
        return;
    }
    LOG_WARN("[AGONES] %s: %s (%llu more such failures since the last line)", what, answer_text(answer).c_str(),
             static_cast<unsigned long long>(warnings_left_out_));
    last_warning_ms_ = now_ms;
    warnings_left_out_ = 0;
}

size_t AgonesRooms::room_count() const {
    return static_cast<size_t>(std::count_if(rooms_.begin(), rooms_.end(), [](const auto& e) {
        return e.second.ours && e.second.step != Step::Missing;
    }));
}

bool AgonesRooms::shut_down(int64_t now_ms, std::vector<RoomEvent>& events) {
    closing_ = true;
    wanted_lookups_.clear();
    poll(now_ms, events);
    return std::none_of(rooms_.begin(), rooms_.end(), [](const auto& e) {
        return e.second.step == Step::CheckFree || e.second.step == Step::Allocating;
    });
}

} // namespace cog::door

// Turning each frame's view of the room into calls to the sidecar.
#include "server/fleet/room_reporter.h"

#include "server/fleet/gameserver_state.h"
#include "shared/log/log.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace cog {

namespace {
std::string list_value_body(uint32_t id) { return "{\"value\":\"" + std::to_string(id) + "\"}"; }

std::vector<uint32_t> missing_from(const std::vector<uint32_t>& from, const std::vector<uint32_t>& in) {
    std::vector<uint32_t> missing;
    std::set_difference(from.begin(), from.end(), in.begin(), in.end(), std::back_inserter(missing));
    return missing;
}

void insert_sorted(std::vector<uint32_t>& ids, uint32_t id) {
    const auto at = std::lower_bound(ids.begin(), ids.end(), id);
    if (at == ids.end() || *at != id) ids.insert(at, id);
}

void erase_sorted(std::vector<uint32_t>& ids, uint32_t id) {
    const auto at = std::lower_bound(ids.begin(), ids.end(), id);
    if (at != ids.end() && *at == id) ids.erase(at);
}
} // namespace

std::string label_value(std::string_view text) {
    std::string value;
    for (char c : text) {
        if (value.size() == 63) break;
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
        value += plain ? c : '_';
    }
    while (!value.empty() && !std::isalnum(static_cast<unsigned char>(value.back()))) value.pop_back();
    while (!value.empty() && !std::isalnum(static_cast<unsigned char>(value.front()))) value.erase(0, 1);
    return value;
}

RoomReporter::RoomReporter(const FleetSettings& settings, int64_t now_ns)
    : settings_(settings), sidecar_(settings.sidecar_port, settings.call_timeout_ms, settings.list_api),
      warnings_(settings.warning_interval_ns), next_health_ns_(now_ns), next_state_ns_(now_ns) {}

void RoomReporter::report_ready(int64_t now_ns) {
    ready_wanted_ = true;
    ready_sent_ns_ = now_ns;
    ready_in_flight_ = sidecar_.post(SidecarCall::READY, "{}");
    LOG_INFO("[FLEET] Reporting ready to the sidecar on port %d (player List calls under /%s/)",
             static_cast<int>(settings_.sidecar_port), std::string(list_api_name(settings_.list_api)).c_str());
}

void RoomReporter::pump(int64_t now_ns) {
    for (const SidecarOutcome& outcome : sidecar_.pump()) take_outcome(outcome, now_ns);
}

void RoomReporter::take_outcome(const SidecarOutcome& outcome, int64_t now_ns) {
    if (!outcome.ok) {
        ++failed_calls_[static_cast<size_t>(outcome.call)];
        warnings_.note(outcome, now_ns);
    }
    switch (outcome.call) {
    case SidecarCall::READY:
        ready_acknowledged_ = outcome.ok;
        ready_in_flight_ = false;
        break;
    case SidecarCall::SHUTDOWN: shutdown_acknowledged_ = outcome.ok; break;
    case SidecarCall::LIST_ADD:
        // Not in the List after all (full, or the List is missing): asked again after a pause,
        // as long as the player stays, since a place may free up.
        if (!outcome.ok) {
            erase_sorted(listed_, outcome.subject);
            list_retry_ns_ = now_ns + settings_.retry_ns;
        }
        break;
    case SidecarCall::GAMESERVER:
        if (outcome.ok) note_state(gameserver_state(outcome.body), now_ns);
        break;
    default: break;
    }
}

void RoomReporter::note_state(const std::string& state, int64_t now_ns) {
    if (state.empty() || state == fleet_state_) return;
    LOG_INFO("[FLEET] The fleet says this room is %s", state.c_str());
    fleet_state_ = state;
    if (state == "Allocated" && allocated_ns_ < 0) allocated_ns_ = now_ns;
}

void RoomReporter::observe(const RoomSnapshot& room) {
    pump(room.now_ns);
    // Ready is repeated until the sidecar takes it; until then the fleet sends nobody here.
    if (ready_wanted_ && !ready_acknowledged_ && !ready_in_flight_ &&
        room.now_ns - ready_sent_ns_ >= settings_.retry_ns) {
        ready_sent_ns_ = room.now_ns;
        ready_in_flight_ = sidecar_.post(SidecarCall::READY, "{}");
    }
    if (room.now_ns >= next_health_ns_) {
        sidecar_.post(SidecarCall::HEALTH, "{}");
        next_health_ns_ = room.now_ns + settings_.health_interval_ns;
    }
    if (room.now_ns >= next_state_ns_) {
        sidecar_.post(SidecarCall::GAMESERVER, "");
        next_state_ns_ = room.now_ns + settings_.state_interval_ns;
    }
    players_.assign(room.connected_humans.begin(), room.connected_humans.end());
    std::sort(players_.begin(), players_.end());
    sync_player_list(room.now_ns);
    report_labels(room);
    watch_for_idle(room);
    pump(room.now_ns); // gets this frame's new calls under way
}

// The List is brought to the connected set by sending only the differences, and only while the
// queue has room: what does not fit this frame is still a difference at the next one, so no
// join or departure is ever lost, however many come at once.
void RoomReporter::sync_player_list(int64_t now_ns) {
    // Departures first: they free places in the List for those waiting to be added.
    for (uint32_t id : missing_from(listed_, players_)) {
        if (sidecar_.waiting() >= LIST_CALLS_WAITING) return;
        if (sidecar_.post(SidecarCall::LIST_REMOVE, list_value_body(id), id)) erase_sorted(listed_, id);
    }
    if (now_ns < list_retry_ns_) return;
    for (uint32_t id : missing_from(players_, listed_)) {
        if (sidecar_.waiting() >= LIST_CALLS_WAITING) return;
        if (sidecar_.post(SidecarCall::LIST_ADD, list_value_body(id), id)) insert_sorted(listed_, id);
    }
}

void RoomReporter::set_label(std::string_view key, std::string_view value, std::string& last_sent) {
    const std::string clean = label_value(value);
    if (clean == last_sent) return;
    // Remembered only once taken: a label that found no room is sent at a later frame.
    if (sidecar_.post(SidecarCall::LABEL, "{\"key\":\"" + std::string(key) + "\",\"value\":\"" + clean + "\"}"))
        last_sent = clean;
}

void RoomReporter::report_labels(const RoomSnapshot& room) {
    set_label("screen", room.screen, screen_label_);
    set_label("players", std::to_string(players_.size()), players_label_);
}

bool RoomReporter::replacement_due(const RoomSnapshot& room) {
    // A room that has hosted a game is worn: once everyone has gone, a fresh room serves the next
    // group better than this one would. A room nobody has played in waits for its players...
    if (game_started_ && empty_since_ns_ >= 0 && room.now_ns - empty_since_ns_ >= settings_.idle_shutdown_ns) {
        if (shutdown_sent_ns_ < 0)
            LOG_INFO("[FLEET] Game over and the room empty for %lld s: asking the fleet to replace it",
                     static_cast<long long>((room.now_ns - empty_since_ns_) / 1'000'000'000));
        return true;
    }
    // ...unless it was allocated to a group that never came, or came and went without playing:
    // Agones never takes an Allocated room back by itself.
    const int64_t unused_since = std::max(allocated_ns_, empty_since_ns_);
    if (allocated_ns_ >= 0 && !game_started_ && empty_since_ns_ >= 0 &&
        room.now_ns - unused_since >= settings_.allocated_timeout_ns) {
        if (shutdown_sent_ns_ < 0)
            LOG_INFO("[FLEET] Allocated and nobody has played for %lld s: asking the fleet to replace the room",
                     static_cast<long long>((room.now_ns - unused_since) / 1'000'000'000));
        return true;
    }
    return false;
}

void RoomReporter::watch_for_idle(const RoomSnapshot& room) {
    if (!room.in_lobby) game_started_ = true;
    if (!players_.empty()) empty_since_ns_ = -1;
    else if (empty_since_ns_ < 0) empty_since_ns_ = room.now_ns;
    if (shutdown_acknowledged_ || !replacement_due(room)) return;
    // Asked again while the sidecar has not taken it, but never faster than the retry pace.
    if (shutdown_sent_ns_ >= 0 && room.now_ns - shutdown_sent_ns_ < settings_.retry_ns) return;
    if (sidecar_.post(SidecarCall::SHUTDOWN, "{}")) shutdown_sent_ns_ = room.now_ns;
}

} // namespace cog

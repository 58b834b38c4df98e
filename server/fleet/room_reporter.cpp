// Turning each frame's view of the room into calls to the sidecar.
#include "server/fleet/room_reporter.h"

#include "shared/log/log.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace cog {

namespace {
std::string player_body(uint32_t id) { return "{\"playerID\":\"" + std::to_string(id) + "\"}"; }
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
    : settings_(settings), sidecar_(settings.sidecar_port, settings.call_timeout_ms), next_health_ns_(now_ns) {}

void RoomReporter::report_ready(int64_t now_ns) {
    ready_wanted_ = true;
    ready_sent_ns_ = now_ns;
    sidecar_.post(SidecarCall::READY, "{}");
    LOG_INFO("[FLEET] Reporting ready to the sidecar on port %d", static_cast<int>(settings_.sidecar_port));
}

void RoomReporter::pump() {
    for (const SidecarOutcome& outcome : sidecar_.pump()) {
        if (outcome.call == SidecarCall::READY) {
            if (!outcome.ok && !ready_refused_)
                LOG_WARN("[FLEET] The sidecar did not take the ready report; asking again every second");
            ready_acknowledged_ = outcome.ok;
            ready_refused_ = !outcome.ok;
        }
        if (outcome.call == SidecarCall::SHUTDOWN) shutdown_acknowledged_ = outcome.ok;
    }
}

void RoomReporter::observe(const RoomSnapshot& room) {
    pump();
    // Ready is repeated until the sidecar takes it; until then the fleet sends nobody here.
    if (ready_wanted_ && !ready_acknowledged_ && sidecar_.idle() &&
        room.now_ns - ready_sent_ns_ >= settings_.retry_ns) {
        ready_sent_ns_ = room.now_ns;
        sidecar_.post(SidecarCall::READY, "{}");
    }
    if (room.now_ns >= next_health_ns_) {
        sidecar_.post(SidecarCall::HEALTH, "{}");
        next_health_ns_ = room.now_ns + settings_.health_interval_ns;
    }
    report_player_changes(room.connected_humans);
    report_labels(room);
    watch_for_idle(room);
    pump(); // gets this frame's new calls under way
}

void RoomReporter::report_player_changes(std::span<const uint32_t> connected) {
    now_players_.assign(connected.begin(), connected.end());
    std::sort(now_players_.begin(), now_players_.end());
    if (now_players_ == players_) return;
    auto post_each_missing = [this](const std::vector<uint32_t>& from, const std::vector<uint32_t>& in,
                                    SidecarCall call) {
        for (uint32_t id : from)
            if (!std::binary_search(in.begin(), in.end(), id)) sidecar_.post(call, player_body(id));
    };
    post_each_missing(players_, now_players_, SidecarCall::PLAYER_DISCONNECT);
    post_each_missing(now_players_, players_, SidecarCall::PLAYER_CONNECT);
    players_.swap(now_players_);
}

void RoomReporter::set_label(std::string_view key, std::string_view value, std::string& last_sent) {
    const std::string clean = label_value(value);
    if (clean == last_sent) return;
    last_sent = clean;
    sidecar_.post(SidecarCall::LABEL,
                  "{\"key\":\"" + std::string(key) + "\",\"value\":\"" + clean + "\"}");
}

void RoomReporter::report_labels(const RoomSnapshot& room) {
    set_label("screen", room.screen, screen_label_);
    set_label("players", std::to_string(players_.size()), players_label_);
}

void RoomReporter::watch_for_idle(const RoomSnapshot& room) {
    if (!room.in_lobby) game_started_ = true;
    if (!players_.empty()) {
        empty_since_ns_ = -1;
        return;
    }
    if (empty_since_ns_ < 0) empty_since_ns_ = room.now_ns;
    // A room that has hosted a game is worn: once everyone has gone, a fresh room serves the next
    // group better than this one would. A room nobody has played in waits for its players.
    if (!game_started_ || shutdown_acknowledged_ || room.now_ns - empty_since_ns_ < settings_.idle_shutdown_ns) return;
    // Asked again while the sidecar has not taken it, but never faster than the retry pace.
    if (shutdown_sent_ns_ >= 0 && room.now_ns - shutdown_sent_ns_ < settings_.retry_ns) return;
    shutdown_sent_ns_ = room.now_ns;
    LOG_INFO("[FLEET] Game over and the room empty for %lld s: asking the fleet to replace it",
             static_cast<long long>((room.now_ns - empty_since_ns_) / 1'000'000'000));
    sidecar_.post(SidecarCall::SHUTDOWN, "{}");
}

} // namespace cog

// Per-address counts and deadlines of the web port's unfinished sockets.
#include "server/web/handshake_counts.h"

#include "shared/platform/own_machine.h"

namespace cog::web {

bool HandshakeCounts::admits(const std::string& address) const {
    return per_address_ == 0 || is_own_machine(address) || count(address) < per_address_;
}

void HandshakeCounts::add(const void* socket, const std::string& address, int64_t now_us) {
    if (!sockets_.emplace(socket, Entry{address, now_us + timeout_us_}).second) return;
    ++counts_[address];
}

void HandshakeCounts::request_arrived(const void* socket) {
    const auto it = sockets_.find(socket);
    if (it != sockets_.end()) it->second.deadline_us = 0;
}

void HandshakeCounts::answered(const void* socket, int64_t now_us) {
    const auto it = sockets_.find(socket);
    if (it != sockets_.end()) it->second.deadline_us = now_us + timeout_us_;
}

std::vector<const void*> HandshakeCounts::take_overdue(int64_t now_us) {
    std::vector<const void*> overdue;
    for (auto& [socket, entry] : sockets_) {
        if (entry.deadline_us == 0 || now_us < entry.deadline_us) continue;
        entry.deadline_us = 0;
        overdue.push_back(socket);
    }
    return overdue;
}

void HandshakeCounts::remove(const void* socket) {
    const auto it = sockets_.find(socket);
    if (it == sockets_.end()) return;
    const auto count = counts_.find(it->second.address);
    if (--count->second == 0) counts_.erase(count);
    sockets_.erase(it);
}

unsigned HandshakeCounts::count(const std::string& address) const {
    const auto it = counts_.find(address);
    return it == counts_.end() ? 0 : it->second;
}

} // namespace cog::web

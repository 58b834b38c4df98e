// The stand-in API server: one connection at a time, one request each, answered as Kubernetes
// with Agones would, and checked against the field names of Agones' own types.
#include "tests/door/agones_api_stub.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace cog::test {

using door::JsonValue;

namespace {

int loopback_listener(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 64);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

std::string read_request(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const size_t head_end = text.find("\r\n\r\n");
        if (head_end != std::string::npos) {
            size_t length = 0;
            const size_t at = text.find("Content-Length:");
            if (at != std::string::npos && at < head_end) length = std::strtoul(text.c_str() + at + 15, nullptr, 10);
            if (text.size() >= head_end + 4 + length) return text;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return text;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return text;
        text.append(buffer, static_cast<size_t>(n));
    }
}

std::string percent_decoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Kubernetes' equality and existence requirements, comma-separated.
bool selector_matches(const std::string& selector, const std::map<std::string, std::string>& labels) {
    std::stringstream parts(selector);
    std::string part;
    while (std::getline(parts, part, ',')) {
        const size_t eq = part.find('=');
        if (eq == std::string::npos) {
            if (!labels.count(part)) return false;
            continue;
        }
        const std::string key = part.substr(0, eq);
        const std::string value = part.substr(part.compare(eq, 2, "==") == 0 ? eq + 2 : eq + 1);
        const auto found = labels.find(key);
        if (found == labels.end() || found->second != value) return false;
    }
    return true;
}

std::string quoted(const std::string& text) { return door::json_quoted(text); }

std::string labels_json(const std::map<std::string, std::string>& labels) {
    std::string out = "{";
    for (const auto& [k, v] : labels) out += (out.size() > 1 ? "," : "") + quoted(k) + ":" + quoted(v);
    return out + "}";
}

// The status fields GameServers and allocations share.
std::string status_fields(const StandInGameServer& s) {
    return R"("address":)" + quoted(s.node_address) + R"(,"addresses":[{"type":"Hostname","address":"node-1"},)"
           R"({"type":"InternalIP","address":)" + quoted(s.node_address) + R"(}],"ports":[{"name":"game","port":)" +
           std::to_string(s.game_port) + R"(},{"name":"web","port":)" + std::to_string(s.web_port) +
           R"(}],"nodeName":"node-1")";
}

void walk(const std::set<std::string>& known, const std::string& kind, const JsonValue& value, const std::string& path,
          std::vector<std::string>& out) {
    const auto child = [&](const std::string& name) { return path.empty() ? name : path + "." + name; };
    if (value.kind == JsonValue::Kind::Object) {
        const bool map = known.count(child("*")) > 0;
        for (const auto& [name, member] : value.members) {
            const std::string next = map ? child("*") : child(name);
            if (map && member.kind != JsonValue::Kind::String) out.push_back(kind + ": " + next + " is not a string");
            walk(known, kind, member, next, out);
        }
    } else if (value.kind == JsonValue::Kind::Array) {
        for (const JsonValue& item : value.items) walk(known, kind, item, path + "[]", out);
    } else if (!known.count(path)) {
        out.push_back(kind + ": " + path);
    }
}

} // namespace

AgonesFields load_agones_fields(const std::string& path) {
    AgonesFields fields;
    std::ifstream file(path);
    std::string word, kind, field;
    while (file >> word) {
        if (word == "field" && file >> kind >> field) fields[kind].insert(field);
        else std::getline(file, field); // comments and the other kinds of line
    }
    return fields;
}

void unknown_fields(const AgonesFields& fields, const std::string& kind, const JsonValue& value,
                    std::vector<std::string>& out) {
    const auto found = fields.find(kind);
    if (found == fields.end()) return out.push_back(kind + ": no such kind");
    walk(found->second, kind, value, "", out);
}

AgonesApiStub::AgonesApiStub(std::string namespace_name, std::string token, AgonesFields fields)
    : namespace_(std::move(namespace_name)), token_(std::move(token)), fields_(std::move(fields)) {
    listener_ = loopback_listener(port_);
    thread_ = std::thread([this] { serve(); });
}

AgonesApiStub::~AgonesApiStub() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void AgonesApiStub::add(StandInGameServer server) {
    std::lock_guard lock(mutex_);
    servers_[server.name] = std::move(server);
}

void AgonesApiStub::set_state(const std::string& name, const std::string& state) {
    std::lock_guard lock(mutex_);
    servers_[name].state = state;
}

StandInGameServer AgonesApiStub::server(const std::string& name) {
    std::lock_guard lock(mutex_);
    return servers_[name];
}

std::vector<std::string> AgonesApiStub::problems() {
    std::lock_guard lock(mutex_);
    return problems_;
}

std::vector<std::string> AgonesApiStub::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

void AgonesApiStub::serve() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) continue;
        answer(fd);
        ::close(fd);
    }
}

void AgonesApiStub::answer(int fd) {
    const std::string request = read_request(fd);
    const size_t line_end = request.find("\r\n");
    const size_t head_end = request.find("\r\n\r\n");
    if (line_end == std::string::npos || head_end == std::string::npos) return;
    std::stringstream line(request.substr(0, line_end));
    std::string method, target;
    line >> method >> target;
    std::pair<int, std::string> reply;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(method + " " + target);
        reply = respond(method, target, request.substr(line_end, head_end - line_end + 2), request.substr(head_end + 4));
        const int forced = method == "POST" && forced_allocation_status != 0 ? forced_allocation_status.load() : forced_status.load();
        if (forced != 0) reply = {forced, R"({"kind":"Status","code":)" + std::to_string(forced) + "}"};
    }
    const std::string text = "HTTP/1.1 " + std::to_string(reply.first) + " X\r\nContent-Type: application/json\r\n"
                             "Content-Length: " + std::to_string(reply.second.size()) + "\r\nConnection: close\r\n\r\n" +
                             reply.second;
    ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

std::pair<int, std::string> AgonesApiStub::respond(const std::string& method, const std::string& target,
                                                   const std::string& headers, const std::string& body) {
    if (headers.find("\r\nAuthorization: Bearer " + token_ + "\r\n") == std::string::npos) {
        problems_.push_back(method + " " + target + ": without the service account's token");
        return {401, R"({"kind":"Status","code":401})"};
    }
    const std::string allocations = "/apis/allocation.agones.dev/v1/namespaces/" + namespace_ + "/gameserverallocations";
    const std::string lookups = "/apis/agones.dev/v1/namespaces/" + namespace_ + "/gameservers?labelSelector=";
    if (method == "POST" && target == allocations) {
        if (headers.find("\r\nContent-Type: application/json\r\n") == std::string::npos)
            problems_.push_back("an allocation not sent as JSON");
        return allocate(body);
    }
    if (method == "GET" && target.starts_with(lookups)) return list(percent_decoded(target.substr(lookups.size())));
    problems_.push_back("no such route: " + method + " " + target);
    return {404, R"({"kind":"Status","code":404})"};
}

std::pair<int, std::string> AgonesApiStub::allocate(const std::string& body) {
    JsonValue allocation;
    if (!door::parse_json(body, allocation)) {
        problems_.push_back("an allocation that is not JSON: " + body);
        return {400, R"({"kind":"Status","code":400})"};
    }
    unknown_fields(fields_, "GameServerAllocation", allocation, problems_);
    if (allocation.get("apiVersion") == nullptr || allocation.get("apiVersion")->text != "allocation.agones.dev/v1" ||
        allocation.get("kind") == nullptr || allocation.get("kind")->text != "GameServerAllocation")
        problems_.push_back("an allocation without its apiVersion and kind: " + body);
    const JsonValue* selectors = allocation.find({"spec", "selectors"});
    if (!selectors || selectors->items.empty()) problems_.push_back("an allocation without selectors: " + body);
    std::string answer = R"({"apiVersion":"allocation.agones.dev/v1","kind":"GameServerAllocation","status":{"state":"UnAllocated","gameServerName":"","source":"local"}})";
    for (const JsonValue& selector : selectors ? selectors->items : std::vector<JsonValue>{}) {
        std::map<std::string, std::string> wanted;
        if (const JsonValue* match = selector.get("matchLabels"))
            for (const auto& [k, v] : match->members) wanted[k] = v.text;
        const JsonValue* state = selector.get("gameServerState");
        for (auto& [name, server] : servers_) {
            bool fits = server.state == (state ? state->text : "Ready");
            for (const auto& [k, v] : wanted) fits = fits && server.labels.count(k) && server.labels[k] == v;
            if (!fits) continue;
            server.state = "Allocated";
            if (const JsonValue* labels = allocation.find({"spec", "metadata", "labels"}))
                for (const auto& [k, v] : labels->members) server.labels[k] = v.text;
            answer = R"({"apiVersion":"allocation.agones.dev/v1","kind":"GameServerAllocation","status":{"state":"Allocated","gameServerName":)" +
                     quoted(name) + "," + status_fields(server) + R"(,"source":"local"}})";
            check_answer("GameServerAllocation", answer);
            return {201, answer};
        }
    }
    check_answer("GameServerAllocation", answer);
    return {201, answer};
}

std::pair<int, std::string> AgonesApiStub::list(const std::string& selector) {
    std::string items;
    for (const auto& [name, server] : servers_) {
        if (!selector_matches(selector, server.labels)) continue;
        items += (items.empty() ? "" : ",") + std::string(R"({"metadata":{"name":)") + quoted(name) +
                 R"(,"namespace":)" + quoted(namespace_) + R"(,"labels":)" + labels_json(server.labels) +
                 R"(},"status":{"state":)" + quoted(server.state) + "," + status_fields(server) + "}}";
    }
    const std::string answer = R"({"apiVersion":"agones.dev/v1","kind":"GameServerList","metadata":{"resourceVersion":"1"},"items":[)" +
                               items + "]}";
    check_answer("GameServerList", answer);
    return {200, answer};
}

void AgonesApiStub::check_answer(const std::string& kind, const std::string& body) {
    JsonValue value;
    if (!door::parse_json(body, value)) return problems_.push_back("the stand-in's own answer is not JSON: " + body);
    unknown_fields(fields_, kind, value, problems_);
}

} // namespace cog::test

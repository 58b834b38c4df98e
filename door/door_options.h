// The door's command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cog::door {

struct DoorOptions {
    uint16_t port = 8080;
    std::string web_root;       // empty: web/ beside the program
    std::string tls_certificate, tls_key;
    std::string rooms = "local";
    int max_rooms = 0;          // 0: 8 per core
    int room_idle_s = 300;
    std::string host_binary;    // empty: cogwell-host beside the program
    std::string log_level = "info";
    std::string print_qr;       // not empty: print this text's QR code and exit
    bool proxy_header = true;
    uint16_t metrics_port = 0;  // Prometheus metrics over HTTP on a port of their own; 0: none
    std::vector<std::pair<std::string, std::string>> agones; // --rooms agones: its options, in order
    std::vector<std::string> static_rooms; // --static-room: "CODE=HOST:PORT", checked when read
};

enum class DoorOptionsError : uint8_t { None, Help, UnknownOption, MissingValue, InvalidValue };

struct DoorOptionsResult {
    DoorOptionsError error = DoorOptionsError::None;
    std::string message; // for the operator
};

// `args` without the program's name; COGWELL_TLS_CERT and COGWELL_TLS_KEY stand for the TLS options.
DoorOptionsResult parse_door_options(const std::vector<std::string_view>& args, DoorOptions& out);
std::string door_usage(int cores);

} // namespace cog::door

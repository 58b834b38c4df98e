// The input phase: drain every connected human's socket and act on each message in order.
#pragma once

#include <cstdint>
#include <string_view>

namespace cog {

struct HostState;

void process_client_input(HostState& host);

} // namespace cog

// The client program: connect and log in, then one frame every 1/60 s until the window closes.
#pragma once

#include "client/options.h"

namespace cog::client {

// The process exit code: 0 after a normal close or a saved screenshot; 1 when the host could
// not be reached at start-up, the window could not open, or a screenshot run never logged in.
int run_client(const ClientOptions& options);

} // namespace cog::client

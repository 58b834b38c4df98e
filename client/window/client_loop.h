// The client program: connect and log in, then one frame per host frame until the window closes.
#pragma once

#include "client/session/options.h"
#include "shared/platform/clock.h"

namespace cog::client {

// The process exit code: 0 after a normal close or a saved screenshot; 1 when the host could
// not be reached at start-up, the window could not open, or a screenshot run never logged in.
// Everything timed runs on `clock`.
int run_client(const ClientOptions& options, Clock& clock);

} // namespace cog::client

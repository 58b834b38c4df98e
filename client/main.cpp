// Program entry of cogwell-client: parse the command line and run the client.
#include "client/session/options.h"
#include "client/window/client_loop.h"

#include <SDL.h>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    const cog::client::ParsedOptions parsed = cog::client::parse_options(argc, argv);
    if (parsed.result == cog::client::OptionsResult::Help) {
        std::fputs(cog::client::usage_text(), stdout);
        return 0;
    }
    if (parsed.result == cog::client::OptionsResult::Bad) {
        std::fprintf(stderr, "cogwell-client: %s\n", parsed.error.c_str());
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN); // a vanished host shows as a send error, not a dead client
    cog::SystemClock clock;
    const int code = cog::client::run_client(parsed.options, clock);
    SDL_Quit();
    return code;
}

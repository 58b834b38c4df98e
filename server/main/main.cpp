// Program entry: the host on port 5556 with the wall clock and the OS random source.
#include "shared/log/log.h"

int main() {
    LOG_INFO("Starting game server...");
    return 0;
}

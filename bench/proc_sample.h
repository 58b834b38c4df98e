// A running process's CPU time and memory, read from /proc, for the load tools.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace cog::bench {

struct ProcSample {
    double cpu_seconds = 0;
    long rss_kb = 0, hwm_kb = 0;
};

inline ProcSample sample_process(int pid) {
    ProcSample s;
    if (pid <= 0) return s;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close_paren = text.rfind(')');
    if (close_paren != std::string::npos) {
        std::istringstream fields(text.substr(close_paren + 2));
        std::string field;
        unsigned long utime = 0, stime = 0;
        for (int i = 3; fields >> field; ++i) {
            if (i == 14) utime = std::stoul(field);
            if (i == 15) {
                stime = std::stoul(field);
                break;
            }
        }
        s.cpu_seconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) s.rss_kb = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) s.hwm_kb = std::atol(line.c_str() + 6);
    }
    return s;
}

} // namespace cog::bench

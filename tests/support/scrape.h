// Reading a Prometheus scrape in tests: its samples by series, and promtool's verdict on it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

namespace cog::test {

// Every sample of a scrape, by its series ("name{labels}").
inline std::map<std::string, double> scrape_samples(const std::string& text) {
    std::map<std::string, double> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.rfind(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos) continue;
        out[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
    }
    return out;
}

struct PromtoolVerdict {
    int status = -1; // promtool's exit status as pclose gives it; 0: the scrape is well formed
    std::string said;
};

// `promtool check metrics` (from Debian's prometheus package) on `body`.
inline PromtoolVerdict promtool_check_metrics(const std::string& body) {
    PromtoolVerdict verdict;
    char path[] = "/tmp/cogwell-scrape-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return verdict;
    const bool written = write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
    close(fd);
    FILE* checker = written ? popen(("promtool check metrics < " + std::string(path) + " 2>&1").c_str(), "r") : nullptr;
    if (checker) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, checker)) verdict.said += buffer;
        verdict.status = pclose(checker);
    }
    unlink(path);
    return verdict;
}

} // namespace cog::test

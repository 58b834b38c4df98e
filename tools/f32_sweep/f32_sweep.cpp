// Checks the f32 text of every finite float below a magnitude limit against printf("%.8f").
// Usage: f32_sweep [threads] [limit]; prints the count checked and every mismatch (first 20).
#include "shared/protocol/number_text.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    const int threads = argc > 1 ? std::atoi(argv[1]) : 2;
    const double limit = argc > 2 ? std::atof(argv[2]) : 1e9;
    std::atomic<uint64_t> checked{0}, mismatches{0};
    // Positive bit patterns only; each one is checked with and without its sign bit.
    const uint32_t top = 0x7F800000u; // +infinity, exclusive
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            uint64_t local_checked = 0;
            char ours[64], theirs[128];
            for (uint32_t bits = static_cast<uint32_t>(t); bits < top; bits += static_cast<uint32_t>(threads)) {
                const float v = std::bit_cast<float>(bits);
                if (!(std::fabs(v) < limit)) continue;
                for (uint32_t sign : {0u, 0x80000000u}) {
                    const float s = std::bit_cast<float>(bits | sign);
                    char* end = cog::number_text::write_f32(ours, s);
                    *end = '\0';
                    std::snprintf(theirs, sizeof theirs, "%.8f", static_cast<double>(s));
                    ++local_checked;
                    if (std::strcmp(ours, theirs) != 0) {
                        if (mismatches.fetch_add(1) < 20)
                            std::printf("MISMATCH bits=%08x ours=%s printf=%s\n", bits | sign, ours, theirs);
                    }
                }
            }
            checked += local_checked;
        });
    }
    for (auto& th : pool) th.join();
    std::printf("checked %llu floats with |x| < %g: %llu mismatches\n",
                static_cast<unsigned long long>(checked.load()), limit,
                static_cast<unsigned long long>(mismatches.load()));
    return mismatches.load() == 0 ? 0 : 1;
}

// Stand-in std::source_location for clang 14 with libstdc++ 12, whose header declares nothing
// without __builtin_source_location. Force-included by scripts/fuzz.sh only.
#pragma once

#include <source_location>
#include <cstdint>

#ifndef __cpp_lib_source_location
namespace std {
struct source_location {
    static constexpr source_location current(const char* file = __builtin_FILE(), int line = __builtin_LINE(),
                                             const char* function = __builtin_FUNCTION()) noexcept {
        source_location s;
        s.file_ = file;
        s.line_ = static_cast<uint_least32_t>(line);
        s.function_ = function;
        return s;
    }
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr const char* function_name() const noexcept { return function_; }
    constexpr uint_least32_t line() const noexcept { return line_; }
    constexpr uint_least32_t column() const noexcept { return 0; }

private:
    const char* file_ = "";
    const char* function_ = "";
    uint_least32_t line_ = 0;
};
} // namespace std
#endif

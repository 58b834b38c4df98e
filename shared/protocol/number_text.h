// Exact decimal text of the wire's numbers: integers and f32 with exactly 8 decimals, no printf.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace cog::number_text {

// Longest text write_f32 produces: sign, 39 integer digits (FLT_MAX), point, 8 decimals.
inline constexpr int F32_MAX_CHARS = 49;
inline constexpr int U64_MAX_CHARS = 20;
inline constexpr int I64_MAX_CHARS = 20;

inline constexpr char DIGIT_PAIRS[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline int decimal_digits(uint64_t v) {
    int n = 1;
    for (;;) {
        if (v < 10) return n;
        if (v < 100) return n + 1;
        if (v < 1000) return n + 2;
        if (v < 10000) return n + 3;
        v /= 10000;
        n += 4;
    }
}

// Writes v in decimal; returns the end of the text.
inline char* write_u64(char* out, uint64_t v) {
    int n = decimal_digits(v);
    char* p = out + n;
    while (v >= 100) {
        uint64_t pair = v % 100;
        v /= 100;
        p -= 2;
        std::memcpy(p, DIGIT_PAIRS + pair * 2, 2);
    }
    if (v >= 10) {
        p -= 2;
        std::memcpy(p, DIGIT_PAIRS + v * 2, 2);
    } else {
        *--p = static_cast<char>('0' + v);
    }
    return out + n;
}

inline char* write_i64(char* out, int64_t v) {
    if (v < 0) {
        *out++ = '-';
        // Two's complement negation in unsigned arithmetic also covers INT64_MIN.
        return write_u64(out, 0 - static_cast<uint64_t>(v));
    }
    return write_u64(out, static_cast<uint64_t>(v));
}

// Exactly 8 digits, leading zeros kept: the decimals of an f32.
inline char* write_8_digits(char* out, uint32_t v) {
    uint32_t hi = v / 10000, lo = v % 10000;
    std::memcpy(out + 0, DIGIT_PAIRS + (hi / 100) * 2, 2);
    std::memcpy(out + 2, DIGIT_PAIRS + (hi % 100) * 2, 2);
    std::memcpy(out + 4, DIGIT_PAIRS + (lo / 100) * 2, 2);
    std::memcpy(out + 6, DIGIT_PAIRS + (lo % 100) * 2, 2);
    return out + 8;
}

// Integer floats of 2^64 and above (exponent > 39) need more than 64 bits; rare, so a plain loop.
inline char* write_u128(char* out, unsigned __int128 v) {
    char tmp[40];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    } while (v != 0);
    while (n > 0) *out++ = tmp[--n];
    return out;
}

// Writes the exact value of `value` rounded to 8 decimals, ties to even: the same text as
// printf("%.8f", (double)value) for every finite float, negative zero included ("-0.00000000").
// NaN and the infinities cannot be expressed in the wire's fixed-point form; they are written as
// 0.00000000 so that a bad value in a draw command never breaks a client's parser.
inline char* write_f32(char* out, float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    const uint32_t biased = (bits >> 23) & 0xFF;
    const uint32_t fraction_bits = bits & 0x7FFFFF;
    if (biased == 0xFF) {
        std::memcpy(out, "0.00000000", 10);
        return out + 10;
    }
    if (bits >> 31) *out++ = '-';
    // value = mantissa * 2^exponent with mantissa < 2^24.
    uint64_t mantissa = biased == 0 ? fraction_bits : (fraction_bits | 0x800000u);
    int exponent = biased == 0 ? -149 : static_cast<int>(biased) - 150;

    if (exponent >= 0) {
        if (exponent <= 39) {
            out = write_u64(out, mantissa << exponent); // 24 + 39 bits fit
        } else {
            out = write_u128(out, static_cast<unsigned __int128>(mantissa) << exponent);
        }
        std::memcpy(out, ".00000000", 9);
        return out + 9;
    }

    const int shift = -exponent; // 1..149 fractional bits
    uint64_t integer = 0;
    uint64_t decimals = 0; // the 8 decimals as an integer
    if (shift <= 36) {
        // fraction < 2^36, so fraction * 10^8 < 2^63: plain 64-bit arithmetic is exact.
        integer = mantissa >> shift;
        const uint64_t mask = (uint64_t{1} << shift) - 1;
        const uint64_t scaled = (mantissa & mask) * 100000000u;
        decimals = scaled >> shift;
        const uint64_t rest = scaled & mask;
        const uint64_t half = uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (decimals & 1))) ++decimals;
    } else if (shift <= 52) {
        // The value is below 2^-13 so the integer part is 0; mantissa * 10^8 < 2^51 and the
        // remainder mask needs up to 52 bits, both well inside 128.
        const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * 100000000u;
        decimals = static_cast<uint64_t>(scaled >> shift);
        const unsigned __int128 mask = (static_cast<unsigned __int128>(1) << shift) - 1;
        const unsigned __int128 rest = scaled & mask;
        const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
        if (rest > half || (rest == half && (decimals & 1))) ++decimals;
    }
    // shift > 52: the value is below 2^-29, which times 10^8 is below one half: rounds to 0.
    if (decimals == 100000000u) { // rounding carried into the integer part
        decimals = 0;
        ++integer;
    }
    out = write_u64(out, integer);
    *out++ = '.';
    return write_8_digits(out, static_cast<uint32_t>(decimals));
}

} // namespace cog::number_text

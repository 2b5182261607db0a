#include "scene/PovNumber.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

// std::to_chars with a format and a precision is defined to give the same
// characters as printf in the "C" locale, and never reads the global locale.

void appendGeneral(std::string& out, double value)
{
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    out.append(buffer, result.ptr);
}

void appendFixed(std::string& out, double value)
{
    char buffer[400]; // %f of the largest double has 309 digits before the point
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, result.ptr);
}

namespace {

const char twoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "74757677787980818283848586878889909192939495969798990";

// Writes v in decimal, most significant digit first; returns the end.
char* writeUnsigned(char* out, uint64_t v)
{
    char digits[24];
    char* p = digits + sizeof digits;
    while (v >= 100) {
        const unsigned pair = unsigned(v % 100) * 2;
        v /= 100;
        *--p = twoDigits[pair + 1];
        *--p = twoDigits[pair];
    }
    if (v >= 10) {
        *--p = twoDigits[v * 2 + 1];
        *--p = twoDigits[v * 2];
    } else {
        *--p = char('0' + v);
    }
    const size_t n = size_t(digits + sizeof digits - p);
    std::memcpy(out, p, n);
    return out + n;
}

} // namespace

char* writeFixed(char* out, float value)
{
    // A finite float is m * 2^e exactly. Its "%f" text is m * 2^e * 10^6
    // rounded to an integer (ties to even, as printf rounds exact ties),
    // printed with the point six digits from the right.
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = bits >> 31;
    const int biased = int(bits >> 23 & 0xff);
    const uint64_t fraction = bits & 0x7fffff;
    if (biased == 0xff || biased > 150 + 80) {
        // Infinity, NaN, or too large for 128 bits: rare, take the slow road.
        char buffer[400];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, double(value),
                                    std::chars_format::fixed, 6);
        const size_t n = size_t(result.ptr - buffer);
        std::memcpy(out, buffer, n);
        return out + n;
    }
    const uint64_t m = biased == 0 ? fraction : (fraction | 0x800000);
    const int e = biased == 0 ? -149 : biased - 150;

    if (negative) {
        *out++ = '-';
    }
    uint64_t whole;
    uint64_t decimals;
    if (e >= 0) {
        unsigned __int128 scaled = (unsigned __int128)(m) << e;
        if (scaled > ~uint64_t(0)) {
            // Beyond 64 bits: print the 128-bit integer digit by digit.
            char digits[48];
            char* p = digits + sizeof digits;
            while (scaled != 0) {
                *--p = char('0' + int(scaled % 10));
                scaled /= 10;
            }
            const size_t n = size_t(digits + sizeof digits - p);
            std::memcpy(out, p, n);
            std::memcpy(out + n, ".000000", 7);
            return out + n + 7;
        }
        whole = uint64_t(scaled);
        decimals = 0;
    } else {
        const int k = -e;
        const uint64_t t = m * 1000000u; // below 2^44
        uint64_t q = 0;
        if (k < 64) {
            q = t >> k;
            const uint64_t r = t & ((uint64_t(1) << k) - 1);
            const uint64_t half = uint64_t(1) << (k - 1);
            if (r > half || (r == half && (q & 1))) {
                ++q;
            }
        } // else t < 2^44 <= 2^(k-1): rounds to zero
        whole = q / 1000000u;
        decimals = q % 1000000u;
    }
    out = writeUnsigned(out, whole);
    *out++ = '.';
    const unsigned high = unsigned(decimals / 10000), middle = unsigned(decimals / 100 % 100),
                   low = unsigned(decimals % 100);
    out[0] = twoDigits[high * 2];
    out[1] = twoDigits[high * 2 + 1];
    out[2] = twoDigits[middle * 2];
    out[3] = twoDigits[middle * 2 + 1];
    out[4] = twoDigits[low * 2];
    out[5] = twoDigits[low * 2 + 1];
    return out + 6;
}

void appendFixed(std::string& out, float value)
{
    char buffer[64];
    out.append(buffer, writeFixed(buffer, value));
}

QString povGeneral(double value)
{
    std::string text;
    appendGeneral(text, value);
    return QString::fromLatin1(text.data(), int(text.size()));
}

QString povFixed(double value)
{
    std::string text;
    appendFixed(text, value);
    return QString::fromLatin1(text.data(), int(text.size()));
}

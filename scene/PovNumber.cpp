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
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    out.append(buffer, result.ptr);
}

void appendFixed(std::string& out, double value)
{
    char buffer[400]; // %f of the largest double has 309 digits before the point
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, result.ptr);
}

void appendFixed(std::string& out, float value)
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
        appendFixed(out, double(value)); // infinity, NaN, or beyond 128 bits
        return;
    }
    const uint64_t m = biased == 0 ? fraction : (fraction | 0x800000);
    const int e = biased == 0 ? -149 : biased - 150;

    unsigned __int128 scaled;
    if (e >= 0) {
        scaled = (unsigned __int128)(m) << e;
        scaled *= 1000000u;
    } else {
        const int k = -e;
        const uint64_t t = m * 1000000u; // below 2^44
        if (k >= 64) {
            scaled = 0; // t < 2^44 <= 2^(k-1): rounds to zero
        } else {
            uint64_t q = t >> k;
            const uint64_t r = t & ((uint64_t(1) << k) - 1);
            const uint64_t half = uint64_t(1) << (k - 1);
            if (r > half || (r == half && (q & 1))) {
                ++q;
            }
            scaled = q;
        }
    }

    char buffer[64];
    char* end = buffer + sizeof buffer;
    char* p = end;
    uint64_t decimals = uint64_t(scaled % 1000000u);
    unsigned __int128 whole = scaled / 1000000u;
    for (int i = 0; i < 6; ++i) {
        *--p = char('0' + decimals % 10);
        decimals /= 10;
    }
    *--p = '.';
    do {
        *--p = char('0' + int(whole % 10));
        whole /= 10;
    } while (whole != 0);
    if (negative) {
        *--p = '-';
    }
    out.append(p, end);
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

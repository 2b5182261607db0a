#include "scene/PovNumber.h"

#include <charconv>

// std::to_chars with a format and a precision is defined to give the same
// characters as printf in the "C" locale, and never reads the global locale.

QString povGeneral(double value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

QString povFixed(double value)
{
    char buffer[400]; // %f of the largest double has 309 digits before the point
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

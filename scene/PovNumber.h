#pragma once
// Numbers in POV-Ray text, formatted exactly as the C library's printf does
// in the "C" locale, whatever the user's locale is.

#include <QString>

// printf "%g": at most six significant digits, trailing zeros dropped.
QString povGeneral(double value);
// printf "%f": six decimals.
QString povFixed(double value);

#pragma once
// Numbers in POV-Ray text, formatted exactly as the C library's printf does
// in the "C" locale, whatever the user's locale is.

#include <QString>

#include <string>

// printf "%g": at most six significant digits, trailing zeros dropped.
QString povGeneral(double value);
void appendGeneral(std::string& out, double value);
// printf "%f": six decimals.
QString povFixed(double value);
void appendFixed(std::string& out, double value);
// printf "%f" of a float widened to double; exact integer arithmetic, several
// times faster than the general routine for the scene's many coordinates.
void appendFixed(std::string& out, float value);
// The same text written at `out`, which must have room for 64 characters;
// returns the end of the text.
char* writeFixed(char* out, float value);

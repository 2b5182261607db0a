#pragma once
// The model library's diagnostic channels, all on standard error.
//
//   lnWarning: " LN WARNING - <message>\n", then carries on.
//   lnError:   " LN ERROR - <message>\n", for a failure the caller recovers
//              from (a file that cannot be read); then carries on.
//   lnFatal:   "\n\n LN ERROR - <message> ... exiting\n\n", then ends the
//              process with a non-zero status. Only for states the program
//              cannot recover from (a broken OpenGL context).
//
// Messages are formatted with printf rules into a 1024-character buffer; a
// longer message is cut to its first 1023 characters.

#if defined(__GNUC__)
#define LN_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define LN_PRINTF(a, b)
#endif

void lnWarning(const char* format, ...) LN_PRINTF(1, 2);
void lnError(const char* format, ...) LN_PRINTF(1, 2);
[[noreturn]] void lnFatal(const char* format, ...) LN_PRINTF(1, 2);

// Exit status used by lnFatal.
constexpr int lnFatalExitStatus = 2;

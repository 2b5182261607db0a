#include "ln/LnDiagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

// Formats the message into a 1024-character buffer (vsnprintf cuts it to
// 1023 characters) and writes it between `before` and `after`.
void print(const char* before, const char* after, const char* format, va_list args)
{
    char message[1024];
    if (std::vsnprintf(message, sizeof message, format, args) < 0) {
        message[0] = '\0';
    }
    std::fprintf(stderr, "%s%s%s", before, message, after);
    std::fflush(stderr);
}

} // namespace

void lnWarning(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    print(" LN WARNING - ", "\n", format, args);
    va_end(args);
}

void lnError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    print(" LN ERROR - ", "\n", format, args);
    va_end(args);
}

void lnFatal(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    print("\n\n LN ERROR - ", " ... exiting\n\n", format, args);
    va_end(args);
    std::exit(lnFatalExitStatus);
}

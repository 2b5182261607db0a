#include "ln/LnDiagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int messageSize = 1024;

void formatMessage(char (&buffer)[messageSize], const char* format, va_list args)
{
    // vsnprintf cuts the text to messageSize - 1 characters and terminates it.
    if (std::vsnprintf(buffer, messageSize, format, args) < 0) {
        buffer[0] = '\0';
    }
}

} // namespace

void lnWarning(const char* format, ...)
{
    char message[messageSize];
    va_list args;
    va_start(args, format);
    formatMessage(message, format, args);
    va_end(args);
    std::fprintf(stderr, " LN WARNING - %s\n", message);
    std::fflush(stderr);
}

void lnError(const char* format, ...)
{
    char message[messageSize];
    va_list args;
    va_start(args, format);
    formatMessage(message, format, args);
    va_end(args);
    std::fprintf(stderr, " LN ERROR - %s\n", message);
    std::fflush(stderr);
}

void lnFatal(const char* format, ...)
{
    char message[messageSize];
    va_list args;
    va_start(args, format);
    formatMessage(message, format, args);
    va_end(args);
    std::fprintf(stderr, "\n\n LN ERROR - %s ... exiting\n\n", message);
    std::fflush(stderr);
    std::exit(lnFatalExitStatus);
}

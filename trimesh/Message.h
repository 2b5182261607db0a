#pragma once
// The toolkit's progress and diagnostic output: printf-style to standard
// error, flushed at once so the lines interleave with the caller's own.

void tmMessage(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

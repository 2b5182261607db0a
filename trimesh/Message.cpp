#include "trimesh/Message.h"

#include <cstdarg>
#include <cstdio>

void tmMessage(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    std::fflush(stderr);
}

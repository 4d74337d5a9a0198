// The tagged diagnostic format, on its own so that the file writers the
// production builder shares with the engine need nothing else of the base layer.
#include "core/log.h"

#include <cstdarg>
#include <cstdio>

void logTagged(const char *func, int line, const char *fmt, ...)
{
    // Newlines written in the message text show as \n; the arguments are
    // printed as they are.
    char escaped[1024];
    size_t n = 0;
    for (const char *p = fmt; *p && n + 2 < sizeof escaped; p++) {
        if (*p == '\n') {
            escaped[n++] = '\\';
            escaped[n++] = 'n';
        } else {
            escaped[n++] = *p;
        }
    }
    escaped[n] = '\0';

    printf("[%s : %4d]\"", func, line);
    va_list args;
    va_start(args, fmt);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    vprintf(escaped, args);
#pragma GCC diagnostic pop
    va_end(args);
    fputs("\"\n", stdout);
}

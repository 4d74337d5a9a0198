// The tagged diagnostic line every module and the production's file writers
// print their refusals with.
#pragma once

// The format checks of printf-like functions: MinGW's "printf" archetype is
// Microsoft's, while its C++ programs use the GNU-compatible stdio.
#ifdef __MINGW32__
#define LOG_PRINTF_FORMAT gnu_printf
#else
#define LOG_PRINTF_FORMAT printf
#endif

// Prints one module error: [func : line]"message" and a newline. A newline
// written in the message text comes out as the two characters \ and n;
// arguments are printed as they are.
void logTagged(const char *func, int line, const char *fmt, ...)
    __attribute__((format(LOG_PRINTF_FORMAT, 3, 4)));
// The usual form: tagged with the reporting function and this source line.
#define LOG_TAGGED(...) logTagged(__func__, __LINE__, __VA_ARGS__)

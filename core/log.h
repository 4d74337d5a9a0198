// The tagged diagnostic line every module and the production's file writers
// print their refusals with.
#pragma once

// Prints one module error: [func : line]"message" and a newline. A newline
// written in the message text comes out as the two characters \ and n;
// arguments are printed as they are.
void logTagged(const char *func, int line, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
// The usual form: tagged with the reporting function and this source line.
#define LOG_TAGGED(...) logTagged(__func__, __LINE__, __VA_ARGS__)

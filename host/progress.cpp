// The progress line shared by the offline exports.
#include "host/progress.h"

#include <unistd.h> // Required for: isatty()

#include <cstdio>

void progressBegin(Progress *progress, const char *label, long total)
{
    progress->label = label;
    progress->total = total;
    progress->terminal = isatty(2);
    progress->began = progress->reported = std::chrono::steady_clock::now();
}

double progressElapsed(const Progress *progress)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - progress->began).count();
}

std::string progressClock(double seconds)
{
    long s = seconds > 0.0 ? (long)(seconds + 0.5) : 0;
    char text[32];
    snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

void progressReport(Progress *progress, long done, bool last)
{
    auto now = std::chrono::steady_clock::now();
    double since = std::chrono::duration<double>(now - progress->reported).count();
    if (!last && since < (progress->terminal ? 0.25 : 2.0))
        return;
    progress->reported = now;
    double elapsed = progressElapsed(progress);
    double fps = elapsed > 0.0 ? done / elapsed : 0.0;
    double left = fps > 0.0 ? (progress->total - done) / fps : 0.0;
    fprintf(stderr, "%s%s: frame %ld of %ld, %.1f frames/s, %s left%s", progress->terminal ? "\r" : "",
            progress->label, done, progress->total, fps, progressClock(left).c_str(),
            progress->terminal ? "\033[K" : "\n");
    if (last)
        progressBreak(progress);
}

void progressBreak(const Progress *progress)
{
    if (progress->terminal)
        fputc('\n', stderr);
}

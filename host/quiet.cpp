// Setting standard output aside in a quiet run, and bringing back to the
// terminal what a user needs of it: the failures it reported, and the reason
// for a failing start-up.
#include "host/quiet.h"

#ifdef _WIN32
#include <io.h>     // Required for: _dup()
#include <stdio.h>  // Required for: _tempnam()
#else
#include <fcntl.h>  // Required for: F_DUPFD_CLOEXEC (the encoder must not inherit the terminal twice)
#endif
#include <unistd.h> // Required for: dup2(), lseek()

#include <cctype>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

enum { QUIET_FAILURE_LINES = 5 }; // the most of a failing step's lines shown

static FILE *quietAside;    // what standard output printed meanwhile
static long quietStepBegan; // where in it the current start-up step began
static FILE *quietTerminalFile;
static int quietTerminalFd = -1;

// Digits alone ("1" to "9") and dots are start-up progress, no reason.
static bool quietIsProgress(const std::string &line)
{
    for (char c : line)
        if (!isdigit((unsigned char)c) && c != '.' && !isspace((unsigned char)c))
            return false;
    return true;
}

// The lines set aside between two offsets, progress left out.
static std::vector<std::string> quietLines(long from, long to)
{
    std::vector<std::string> lines;
    std::string line;
    fseek(quietAside, from, SEEK_SET);
    for (long at = from; at < to; at++) {
        int c = fgetc(quietAside);
        if (c != EOF && c != '\n') {
            line += (char)c;
            continue;
        }
        if (!quietIsProgress(line))
            lines.push_back(line);
        line.clear();
        if (c == EOF)
            break;
    }
    if (!quietIsProgress(line))
        lines.push_back(line);
    return lines;
}

// Module messages that report a failure, in the words they use.
static bool quietIsFailure(const std::string &line)
{
    static const char *const words[] = {"fail", "cannot", "can't", "error", "unable", "not enough"};
    std::string lower(line);
    for (char &c : lower)
        c = (char)tolower((unsigned char)c);
    for (const char *word : words)
        if (lower.find(word) != std::string::npos)
            return true;
    // A missing file; a variable name that no module registered is warned
    // about on standard error with its file and line already.
    return lower.find("not found") != std::string::npos && lower.find("file") != std::string::npos;
}

static void quietShowReason(void)
{
    std::vector<std::string> lines = quietLines(quietStepBegan, LONG_MAX);
    size_t from = lines.size() > QUIET_FAILURE_LINES ? lines.size() - QUIET_FAILURE_LINES : 0;
    for (size_t i = from; i < lines.size(); i++)
        printf("%s\n", lines[i].c_str());
    fflush(stdout);
}

#ifdef _WIN32
// Windows has no on_exit(), so the exit status is not known here. It is not
// needed: every exit() of the program reports a failure, and a run that ends
// well sets standard output back (quietEnd) before it returns from main.
static void quietAtExit(void)
{
    bool aside = quietTerminalFd >= 0;
    quietEnd(0);
    if (aside)
        quietShowReason();
}

// The aside in the user's temporary directory (tmpfile() would want the root
// of the drive), removed when closed; binary, so that offsets count bytes.
static FILE *quietAsideFile(void)
{
    char *name = _tempnam(nullptr, "vantorel-quiet-");
    FILE *file = name ? fopen(name, "w+bD") : nullptr;
    free(name);
    return file;
}
#else
static void quietAtExit(int status, void *)
{
    bool aside = quietTerminalFd >= 0; // after quietEnd, failures were printed where they happened
    quietEnd(0);
    if (aside && status != 0)
        quietShowReason();
}
#endif

void quietBegin(void)
{
    if (quietAside)
        return;
    fflush(stdout);
#ifdef _WIN32
    FILE *aside = quietAsideFile();
    int terminal = _dup(STDOUT_FILENO);
#else
    FILE *aside = tmpfile();
    int terminal = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (aside)
        fcntl(fileno(aside), F_SETFD, FD_CLOEXEC);
#endif
    FILE *terminalFile = terminal >= 0 ? fdopen(terminal, "w") : nullptr;
    if (!aside || !terminalFile || dup2(fileno(aside), STDOUT_FILENO) < 0) {
        // Nothing is hidden then: a loud run is better than a lost message.
        if (aside)
            fclose(aside);
        if (terminalFile)
            fclose(terminalFile);
        else if (terminal >= 0)
            close(terminal);
        return;
    }
#ifdef _WIN32
    setvbuf(terminalFile, nullptr, _IONBF, 0); // its C library has no line buffering
#else
    setvbuf(terminalFile, nullptr, _IOLBF, 0);
#endif
    quietAside = aside;
    quietTerminalFile = terminalFile;
    quietTerminalFd = terminal;
#ifdef _WIN32
    atexit(quietAtExit);
#else
    on_exit(quietAtExit, nullptr);
#endif
}

void quietMark(void)
{
    if (!quietAside || quietTerminalFd < 0)
        return;
    fflush(stdout);
    off_t at = lseek(STDOUT_FILENO, 0, SEEK_CUR); // the aside's offset, shared with standard output
    quietStepBegan = at < 0 ? 0 : (long)at;
}

void quietEnd(int showFailures)
{
    if (!quietAside || quietTerminalFd < 0)
        return;
    fflush(stdout);
    fflush(quietTerminalFile);
    dup2(quietTerminalFd, STDOUT_FILENO);
    quietTerminalFd = -1; // the aside is kept for the failure's reason
    if (!showFailures)
        return;
    for (const std::string &line : quietLines(0, quietStepBegan))
        if (quietIsFailure(line))
            printf("%s\n", line.c_str());
}

FILE *quietTerminal(void)
{
    return quietTerminalFd >= 0 ? quietTerminalFile : stdout;
}

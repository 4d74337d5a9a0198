// The watcher: updates the tree whenever a source is saved. It looks at the
// sizes and times of the timeline, the variable files and the assets five
// times a second, and builds once a change has held for one look (an editor
// caught half way through a save is left to finish). A failed build is
// reported and the tree keeps its last good state.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "tree.h"

namespace fs = std::filesystem;

static volatile sig_atomic_t watchStop;

static void watchOnSignal(int)
{
    watchStop = 1;
}

// Names, sizes and times of every watched file, as one string.
static std::string watchSignature(const std::string &source)
{
    std::string signature;
    auto add = [&signature](const fs::path &path) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0)
            return;
        char line[96];
        snprintf(line, sizeof line, " %lld %lld.%09ld\n", (long long)info.st_size, (long long)info.st_mtim.tv_sec,
                 info.st_mtim.tv_nsec);
        signature += path.string() + line;
    };
    add(source + "/timeline.txt");
    std::error_code ec;
    for (const char *folder : {"/vars", "/assets"}) {
        for (fs::recursive_directory_iterator it(source + folder, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec))
                add(it->path());
    }
    return signature;
}

int watchRun(const TreeOptions &options)
{
    struct sigaction action = {};
    action.sa_handler = watchOnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // The watcher belongs to the run that started it: when that ends, so
    // does the watcher, even if nobody stopped it.
    pid_t parent = getppid();
    TreeOptions quiet = options;
    quiet.quiet = true;

    printf("vantorel_build: watching %s/timeline.txt, %s/vars/ and %s/assets/\n", options.source.c_str(),
           options.source.c_str(), options.source.c_str());
    fflush(stdout);
    std::string built = watchSignature(options.source), seen = built;
    while (!watchStop && getppid() == parent) {
        struct timespec pause = {0, 150 * 1000 * 1000};
        nanosleep(&pause, nullptr);
        std::string now = watchSignature(options.source);
        if (now != seen) {
            seen = now;
            continue;
        }
        if (now == built)
            continue;
        built = now;
        printf("vantorel_build: sources changed, updating %s\n", options.out.c_str());
        fflush(stdout);
        treeUpdate(quiet);
        fflush(stdout);
        fflush(stderr);
    }
    return 0;
}

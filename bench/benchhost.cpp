// The start-up the effect benchmarks share with the program.
#include "benchhost.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/host.h"
#include "host/music.h"
#include "host/preroll.h"

Screen *benchHost(benchmark::State &state)
{
    static Screen *screen = []() -> Screen * {
        const char *env = getenv("VANTOREL_PRODUCTION_TREE");
        static const std::string tree = env ? std::string(env) + "/" : VANTOREL_PRODUCTION_TREE_DIR;
        if (!std::filesystem::exists(tree + ".built"))
            return nullptr;
        HostSetup setup = {};
        setup.assetTree = tree.c_str();
        setup.offline = 1;
        setup.musicMode = MUSIC_OFFLINE;
        setup.readOnly = 1; // the tree is shared: no caches, no variable files
        Screen *started = hostStartup(&setup);
        // The start-up state, for the seek benchmarks: kept before any
        // benchmark draws a frame.
        if (started)
            prerollKeepStates(started);
        return started;
    }();
    if (!screen)
        state.SkipWithError("no production tree: cmake --build build --target production");
    return screen;
}

const EffectContext *benchContext(void)
{
    return hostEffectContext();
}

// Private asset trees and guarded frames for the effect tests.
#include "assettree.h"

#include "data/data.h"
#include "effecthost.h"
#include "host/screen.h"
#include "testutil.h"

static const uint32_t kSentinel = 0xDEADBEEFu;

std::string effectPrivateTree(std::initializer_list<const char *> assets)
{
    static std::unique_ptr<TempDir> dir; // lives until the process ends
    dir = std::make_unique<TempDir>();
    std::string tree = effectTestTree(), base = dir->path() + "/";
    for (const char *asset : assets) {
        std::string target = base + asset;
        std::error_code error;
        if (tree.empty() || !makeDirs(target.substr(0, target.rfind('/'))) ||
            !std::filesystem::copy_file(tree + "/" + asset, target, error))
            return "";
    }
    dataSetBasePath(base.c_str());
    return base;
}

uint32_t *guardedFrame(void)
{
    uint32_t *frame = effectTestHost()->buffer0;
    std::fill(frame - FRAME_GUARD_PIXELS, frame + FRAME_WIDTH * FRAME_HEIGHT + FRAME_GUARD_PIXELS, kSentinel);
    std::fill(frame, frame + FRAME_WIDTH * FRAME_HEIGHT, 0u);
    return frame;
}

bool guardsIntact(const uint32_t *frame)
{
    auto intact = [](uint32_t p) { return p == kSentinel; };
    const uint32_t *end = frame + FRAME_WIDTH * FRAME_HEIGHT;
    return std::all_of(frame - FRAME_GUARD_PIXELS, frame, intact) && std::all_of(end, end + FRAME_GUARD_PIXELS, intact);
}

// The surroundings of an effect under test.
#include "effecthost.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "cvar/catalog.h"
#include "data/data.h"
#include "data/pngwrite.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "fx/noise.h"
#include "host/hostvars.h"
#include "host/screen.h"
#include "host/tables.h"
#include "post/filter.h"
#include "post/post.h"
#include "render/view.h"

std::string effectTestTree(void)
{
    const char *tree = getenv("VANTOREL_PRODUCTION_TREE");
    if (!tree || !std::filesystem::exists(std::string(tree) + "/.built"))
        return "";
    return tree;
}

Screen *effectTestHost(void)
{
    static Screen *screen = [] () -> Screen * {
        std::string tree = effectTestTree();
        if (tree.empty())
            return nullptr;
        sinTableBuild();
        sqrtTableBuild();
        noise_init();
        recipTableBuild();
        aberrationMaskBuild();
        dataSetBasePath((tree + "/").c_str());
        hostRegisterGroup1();
        screenSetOffline(1);
        Screen *s = screenCreate();
        static FilterParams filter = {320, 240, 0, 0, 0, 0, 0xFFFF};
        filterParams = &filter;
        RenderView *view = rnd_CreateView();
        rnd_MakePointSprite(view);
        fxHost = {s, view, 0, nullptr};
        return s;
    }();
    return screen;
}

uint64_t frameHash(const uint32_t *frame)
{
    uint64_t h = 1469598103934665603ull;
    const uint8_t *bytes = (const uint8_t *)frame;
    for (size_t i = 0; i < 320u * 240u * 4u; i++) {
        h ^= bytes[i];
        h *= 1099511628211ull;
    }
    return h;
}

bool writeFramePNG(const std::string &path, const uint32_t *frame)
{
    return pngWriteFile(path.c_str(), frame, 320, 240, 320, 0) == 1;
}

void expectCatalogGroup(const char *file, const TrackedVars &tracked)
{
    std::vector<std::string> names, trackedNames, registered, bound;
    for (const CvarCatalogEntry &e : cvarCatalog) {
        if (!e.file || strcmp(e.file, file) != 0)
            continue;
        names.push_back(e.name);
        if (e.tracked)
            trackedNames.push_back(e.name);
        const Cvar *cvar = CvarFind(e.name);
        ASSERT_NE(cvar, nullptr) << e.name;
        EXPECT_EQ(cvar->kind, e.kind) << e.name;
    }
    for (const Cvar *c = cvarList; c; c = c->next) // newest first
        if (std::find(names.begin(), names.end(), c->name) != names.end())
            registered.insert(registered.begin(), c->name);
    for (int i = 0; i < tracked.count; i++)
        bound.push_back(tracked.vars[i]->name);
    EXPECT_EQ(registered, names);
    EXPECT_EQ(bound, trackedNames);
}

static const uint32_t GUARD_PATTERN = 0xA5C3E1F7u;

void markGuardRows(uint32_t *frame)
{
    std::fill_n(frame - FRAME_GUARD_PIXELS, FRAME_GUARD_PIXELS, GUARD_PATTERN);
    std::fill_n(frame + FRAME_WIDTH * FRAME_HEIGHT, FRAME_GUARD_PIXELS, GUARD_PATTERN);
}

bool guardRowsIntact(const uint32_t *frame)
{
    auto intact = [](const uint32_t *p) {
        return std::all_of(p, p + FRAME_GUARD_PIXELS, [](uint32_t v) { return v == GUARD_PATTERN; });
    };
    return intact(frame - FRAME_GUARD_PIXELS) && intact(frame + FRAME_WIDTH * FRAME_HEIGHT);
}

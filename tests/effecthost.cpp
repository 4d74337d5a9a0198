// The surroundings of an effect under test.
#include "effecthost.h"

#include "cvar/cvar.h"
#include "data/data.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "fx/noise.h"
#include "host/hostvars.h"
#include "host/screen.h"
#include "core/tables.h"
#include "post/filter.h"
#include "post/post.h"
#include "render/view.h"

// Effects keep what they build until the process ends, as in the program.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

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

static const uint32_t GUARD_PATTERN = 0xA5C3E1F7u;

void markGuardRows(uint32_t *frame)
{
    std::fill_n(frame - FRAME_GUARD_PIXELS, FRAME_GUARD_PIXELS, GUARD_PATTERN);
    std::fill_n(frame + FRAME_WIDTH * FRAME_HEIGHT, FRAME_GUARD_PIXELS, GUARD_PATTERN);
}

uint32_t *guardedFrame(void)
{
    uint32_t *frame = effectTestHost()->buffer0;
    std::fill_n(frame, FRAME_WIDTH * FRAME_HEIGHT, 0u);
    markGuardRows(frame);
    return frame;
}

bool guardRowsIntact(const uint32_t *frame)
{
    auto intact = [](const uint32_t *p) {
        return std::all_of(p, p + FRAME_GUARD_PIXELS, [](uint32_t v) { return v == GUARD_PATTERN; });
    };
    return intact(frame - FRAME_GUARD_PIXELS) && intact(frame + FRAME_WIDTH * FRAME_HEIGHT);
}

void expectHostileFramesInside(const char *prefix, void (*render)(uint32_t *, float), uint32_t *frame,
                               std::initializer_list<float> times)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (float value : {std::nanf(""), inf, -inf, 1e30f, -1e30f, 3e9f, -7.5f, 0.0f, 1e-30f}) {
        for (Cvar *c = cvarList; c; c = c->next)
            if (strncmp(c->name, prefix, strlen(prefix)) == 0)
                c->value = value, std::fill_n(c->vec, 4, value);
        for (float t : times) {
            for (float time : {t, value}) {
                markGuardRows(frame);
                render(frame, time);
                EXPECT_TRUE(guardRowsIntact(frame)) << prefix << " = " << value << ", t = " << time;
            }
        }
    }
}

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

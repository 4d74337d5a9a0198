// The surroundings of an effect under test.
#include "effecthost.h"

#include "cvar/cvar.h"
#include "host/host.h"
#include "host/music.h"
#include "host/screen.h"

// Effects keep what they build until the process ends, as in the program.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

static std::string privateTree;

std::string effectTestTree(void)
{
    return privateTree;
}

Screen *effectTestHost(const char *withoutFolder)
{
    static Screen *screen = [withoutFolder]() -> Screen * {
        static std::unique_ptr<TempDir> dir = std::make_unique<TempDir>(); // removed after the exit handlers
        if (!copyProductionTree(dir->path() + "/tree", withoutFolder))
            return nullptr;
        privateTree = dir->path() + "/tree/";
        HostSetup setup = {};
        setup.assetTree = privateTree.c_str();
        setup.offline = 1;
        setup.musicMode = MUSIC_OFFLINE;
        return hostStartup(&setup);
    }();
    return screen;
}

const EffectContext *effectContext(void)
{
    return hostEffectContext();
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

void expectHostileFramesInside(const char *prefix, EffectRenderFn render, uint32_t *frame,
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
                render(effectContext(), frame, time);
                EXPECT_TRUE(guardRowsIntact(frame)) << prefix << " = " << value << ", t = " << time;
            }
        }
    }
}

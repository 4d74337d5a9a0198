// Curl particles: the table and its cache file, frames against golden
// hashes, and hostile values. Regenerate the hashes as the top of
// test_fx_engtest.cpp says (VANTOREL_UPDATE_GOLDEN=1, --gtest_filter=Curl.*).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assettree.h"
#include "effecthost.h"
#include "fx/curl.h"
#include "fx/engtest.h"
#include "fx/fx.h"
#include "host/host.h"
#include "host/screen.h"
#include "testutil.h"

namespace {

uint64_t tableHash(void)
{
    return hashBytes(std::string((const char *)curlState.table, CURL_TABLE_BYTES));
}

void expectGolden(const char *what, uint64_t hash, uint64_t golden)
{
    if (getenv("VANTOREL_UPDATE_GOLDEN"))
        printf("%s 0x%016llxull\n", what, (unsigned long long)hash);
    else
        EXPECT_EQ(hash, golden) << what << ": see the top of this file to regenerate";
}

} // namespace

TEST(Curl, ACacheOfTheWrongSizeIsRebuiltAndAWholeOneIsRead)
{
    ASSERT_NE(effectTestHost(), nullptr) << "no production tree (VANTOREL_PRODUCTION_TREE)";
    std::string tree = effectPrivateTree({"curl.vars"});
    ASSERT_TRUE(writeFile(tree + "curl.dat-dontcache", "1") && writeFile(tree + "curl.dat", std::string(1000, 'x')));
    testing::internal::CaptureStdout();
    curl_setup();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("curl.dat has 1000 bytes, not 4194304"), std::string::npos);
    const uint64_t built = tableHash();
    expectGolden("table", built, 0xef272cd711369c06ull);
    EXPECT_EQ(hashBytes(readFile(tree + "curl.dat")), built) << "the rebuilt table replaced the damaged cache";

    std::string cache = readFile(tree + "curl.dat");
    cache[0] = 0x34, cache[1] = 0x12; // entry (0, 0): a = 0x1234
    ASSERT_TRUE(writeFile(tree + "curl.dat", cache));
    EXPECT_EQ(curl_prepareTable(0, nullptr), 1);
    EXPECT_EQ(curlState.table[0], 0x1234);
    char program[] = "vantorel", rebuild[] = "-ReBuild";
    char *argv[] = {program, rebuild};
    EXPECT_EQ(curl_prepareTable(2, argv), 0);
    EXPECT_EQ(tableHash(), built);
    EXPECT_EQ(hashBytes(readFile(tree + "curl.dat")), built);
}

TEST(Curl, FramesOverTheObjectLayerAndHostileValues)
{
    uint32_t *frame = effectTestHost() ? effectTestHost()->buffer0 : nullptr;
    ASSERT_NE(frame, nullptr) << "no production tree (VANTOREL_PRODUCTION_TREE)";
    ASSERT_NE(effectPrivateTree({"curl.vars", "lwobj/blob3_mesh_hi.lobj", "lwobj/elude.obj", "lwobj/fx02_glow.lobj",
                                 "lwobj/weird2.lobj"}),
              "");
    hostSetPauses(0);
    curl_setup();
    uint32_t *end = frame + FRAME_WIDTH * FRAME_HEIGHT;
    std::fill(frame - FRAME_GUARD_PIXELS, end + FRAME_GUARD_PIXELS, 0xDEADBEEFu);
    auto render = [&](float t) {
        std::fill(frame, end, 0u);
        curl_render(frame, t);
        EXPECT_TRUE(std::all_of(frame - FRAME_GUARD_PIXELS, frame, [](uint32_t p) { return p == 0xDEADBEEFu; }));
        EXPECT_TRUE(std::all_of(end, end + FRAME_GUARD_PIXELS, [](uint32_t p) { return p == 0xDEADBEEFu; }));
        return frameHash(frame);
    };
    curl_spawnrate.value = 1.0f; // spawns nothing: the object layer alone
    uint64_t layerOnly = render(20.0f);
    EXPECT_EQ(curlState.count, 0);
    std::fill(frame, end, 0u);
    engtest_render(frame, 20.0f * 0.3f);
    EXPECT_EQ(frameHash(frame), layerOnly);

    curl_spawnrate.value = 0.6f;
    const uint64_t golden[3] = {0xf7514e96d81e1e32ull, 0x1b888a4e4ae1c9fdull, 0x2170da45ebc7ab90ull};
    const char *png = getenv("VANTOREL_FX_PNG");
    for (int i = 1; i <= 60; i++) {
        uint64_t hash = render(20.0f + i * 0.05f);
        if (i % 20 == 0) {
            expectGolden("frame", hash, golden[i / 20 - 1]);
            if (png)
                writeFramePNG(png + std::to_string(i) + ".png", frame);
        }
    }
    EXPECT_GT(curlState.count, 1000);
    curl_particlelimit.value = 100; // truncates count after the spawn pass and wraps next
    render(23.1f);
    EXPECT_EQ(curlState.count, 100);
    EXPECT_LT(curlState.next, 100);

    CurlParticle centre;
    curl_spawn(&centre, 160, 90, 0);
    EXPECT_EQ(centre.vx, 0.0f);
    EXPECT_EQ(centre.dy, 0);
    for (float v : {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -1.0f, 6192.0f, 0.0f}) {
        for (Cvar *c = cvarList; c; c = c->next) {
            if (strncmp(c->name, "curl_", 5) == 0 || strncmp(c->name, "engtest_", 8) == 0)
                c->value = c->vec[0] = c->vec[1] = c->vec[2] = v;
        }
        render(v);
        render(-v);
    }
}

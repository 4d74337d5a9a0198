// Curl particles: the table and its cache file, frames over the object layer
// against golden hashes, and hostile values. Regenerate the hashes as the top
// of test_fx_engtest.cpp says, with --gtest_filter=Curl.*.

#include "effecthost.h"
#include "fx/curl.h"
#include "fx/fx.h"
#include "host/host.h"
#include "testutil.h"

static void expectGolden(const char *what, uint64_t hash, uint64_t golden)
{
    if (getenv("VANTOREL_UPDATE_GOLDEN"))
        printf("%s 0x%016llxull\n", what, (unsigned long long)hash);
    else
        EXPECT_EQ(hash, golden) << what << ": see the top of this file to regenerate";
}

TEST(Curl, CacheTableFramesAndHostileValues)
{
    ASSERT_NE(effectTestHost(), nullptr) << "no production tree (VANTOREL_PRODUCTION_TREE)";
    std::string tree = effectPrivateTree({"curl.vars", "lwobj/blob3_mesh_hi.lobj", "lwobj/elude.obj",
                                          "lwobj/fx02_glow.lobj", "lwobj/weird2.lobj"});
    // A short cache is detected and replaced by the built table.
    ASSERT_TRUE(writeFile(tree + "curl.dat-dontcache", "1") && writeFile(tree + "curl.dat", std::string(1000, 'x')));
    testing::internal::CaptureStdout();
    curl_setup();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("curl.dat has 1000 bytes, not 4194304"), std::string::npos);
    auto tableHash = [] { return hashBytes(std::string((const char *)curlState.table, CURL_TABLE_BYTES)); };
    const uint64_t built = tableHash();
    expectGolden("table", built, 0xef272cd711369c06ull);
    EXPECT_EQ(hashBytes(readFile(tree + "curl.dat")), built);
    // A whole cache is read as it is, unless the command line says -rebuild.
    std::string cache = readFile(tree + "curl.dat");
    cache[0] = 0x34, cache[1] = 0x12;
    ASSERT_TRUE(writeFile(tree + "curl.dat", cache));
    EXPECT_EQ(curl_prepareTable(0, nullptr), 1);
    EXPECT_EQ(curlState.table[0], 0x1234);
    char program[] = "vantorel", rebuild[] = "-ReBuild";
    char *argv[] = {program, rebuild};
    EXPECT_EQ(curl_prepareTable(2, argv), 0);
    EXPECT_EQ(tableHash(), built);

    hostSetPauses(0);
    uint32_t *frame = nullptr;
    auto render = [&](float t) {
        curl_render(frame = guardedFrame(), t);
        EXPECT_TRUE(guardRowsIntact(frame)) << t;
        return frameHash(frame);
    };
    curl_spawnrate.value = 1.0f; // spawns nothing: the object layer alone
    uint64_t layerOnly = render(20.0f);
    engtest_render(guardedFrame(), 20.0f * 0.3f);
    EXPECT_EQ(frameHash(frame), layerOnly);
    curl_spawnrate.value = 0.6f;
    const uint64_t golden[3] = {0xf7514e96d81e1e32ull, 0x1b888a4e4ae1c9fdull, 0x2170da45ebc7ab90ull};
    for (int i = 1; i <= 60; i++) {
        uint64_t hash = render(20.0f + i * 0.05f);
        if (i % 20 == 0)
            expectGolden("frame", hash, golden[i / 20 - 1]);
    }
    EXPECT_GT(curlState.count, 1000);
    curl_particlelimit.value = 100; // truncates count after the spawn pass and wraps next
    render(23.1f);
    EXPECT_EQ(curlState.count, 100);
    EXPECT_LT(curlState.next, 100);

    CurlParticle centre;
    curl_spawn(&centre, 160, 90, 0); // no direction to move away in: at rest
    EXPECT_EQ(centre.dx, 0);
    expectHostileFramesInside("curl_", curl_render, guardedFrame(), {23.0f});
}

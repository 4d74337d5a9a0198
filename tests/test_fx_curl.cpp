// Curl particles: the table and its cache file, frames over the object layer
// against golden hashes, and hostile values.

#include "effecthost.h"
#include "fx/curl.h"

TEST(Curl, CacheTableFramesAndHostileValues)
{
    // Start-up built the table (no switch file) and saved it as the cache.
    ASSERT_NE(effectTestHost(), nullptr) << "no production tree (VANTOREL_PRODUCTION_TREE)";
    const std::string tree = effectTestTree();
    EffectContext ctx = *effectContext();
    auto tableHash = [] { return hashBytes(std::string((const char *)curlState.table, CURL_TABLE_BYTES)); };
    const uint64_t built = tableHash();
    checkGolden(built, 0xef272cd711369c06ull, "curl_table");
    EXPECT_EQ(hashBytes(readFile(tree + "curl.dat")), built);
    // With the switch file, a short cache is detected and replaced by the built table.
    ASSERT_TRUE(writeFile(tree + "curl.dat-dontcache", "1"));
    ASSERT_TRUE(writeFile(tree + "curl.dat", std::string(1000, 'x')));
    std::string out = captured([&] { EXPECT_EQ(curl_prepareTable(&ctx), 0); });
    EXPECT_NE(out.find("curl.dat has 1000 bytes, not 4194304"), std::string::npos) << out;
    EXPECT_EQ(tableHash(), built);
    EXPECT_EQ(hashBytes(readFile(tree + "curl.dat")), built);
    // A whole cache is read as it is, unless the run asks for a rebuild.
    std::string cache = readFile(tree + "curl.dat");
    cache[0] = 0x34, cache[1] = 0x12;
    ASSERT_TRUE(writeFile(tree + "curl.dat", cache));
    EXPECT_EQ(curl_prepareTable(&ctx), 1);
    EXPECT_EQ(curlState.table[0], 0x1234);
    ctx.rebuild = 1;
    EXPECT_EQ(curl_prepareTable(&ctx), 0);
    EXPECT_EQ(tableHash(), built);

    uint32_t *frame = nullptr;
    auto render = [&](float t) {
        curl_render(effectContext(), frame = guardedFrame(), t);
        EXPECT_TRUE(guardRowsIntact(frame)) << t;
        return frameHash(frame);
    };
    curl_spawnrate.value = 1.0f; // spawns nothing: the object layer alone
    uint64_t layerOnly = render(20.0f);
    engtest_render(effectContext(), guardedFrame(), 20.0f * 0.3f);
    EXPECT_EQ(frameHash(frame), layerOnly);
    curl_spawnrate.value = 0.6f;
    const uint64_t golden[3] = {0x1d0b8651b61909aaull, 0x32d0f869c1aa8e25ull, 0x543bbe72c8bc6244ull};
    for (int i = 1; i <= 60; i++) {
        render(20.0f + i * 0.05f);
        if (i % 20 == 0)
            checkGoldenFrame(frame, golden[i / 20 - 1], "curl_" + std::to_string(i));
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

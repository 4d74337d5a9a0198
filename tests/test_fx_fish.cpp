// The fish test in the production's tree: golden frames, texture slots,
// flashes, the parked camera, the tube image, the cross-fade kernels and hostile
// variables (a cut texture: test_hostile.cpp).

#include "core/simd.h"
#include "cvar/cvar.h"
#include "data/objfile.h"
#include "effecthost.h"
#include "fx/fishtest.h"
#include "host/screen.h"

namespace {

// The tracked variables in binding order, then the colours.
const char *const kVars[12] = {"fishtest_zoom", "fishtest_fish", "fishtest_cameradist", "fishtest_motionrange",
                               "fishtest_anglerange", "fishtest_motionspeed", "fishtest_anglespeed",
                               "fishtest_textureidx", "fishtest_flashidx", "fishtest_boxcolor",
                               "fishtest_flashcolor1", "fishtest_flashcolor2"};

void setVar(const char *name, float x, float y = 0, float z = 0, float w = 1)
{
    Cvar *c = CvarFind(name);
    ASSERT_NE(c, nullptr) << name;
    c->value = x, c->vec[0] = x, c->vec[1] = y, c->vec[2] = z, c->vec[3] = w;
}

// Set here, so that the goldens do not follow tuned files.
const FishTest *setUpFish(Screen *s)
{
    fishtest1_setup(effectContext()); // as the greetings may: nothing is built or registered twice
    const float values[12][3] = {{128}, {0.3f}, {-100}, {40}, {30}, {1}, {1}, {2.25f}, {0},
                                 {1, 0.8f, 0.8f}, {1, 0.45f, 0.2f}, {0.3f, 0.75f, 1}};
    for (int i = 0; i < 12; i++)
        setVar(kVars[i], values[i][0], values[i][1], values[i][2]);
    std::fill_n(s->buffer0, 320 * 240, 0u);
    return fishtest_state();
}

void renderGolden(Screen *s, float t, uint64_t golden, const char *name)
{
    fishtest1_render(effectContext(), s->buffer0, t);
    checkGoldenFrame(s->buffer0, golden, name);
}

} // namespace

TEST(FishTest, GoldenFramesSlotsFlashesCameraAndHostileValues)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr);
    const FishTest *fish = setUpFish(s);
    ASSERT_NE(fish, nullptr);
    EXPECT_NE(fish->tube, nullptr);
    EXPECT_EQ(fishtest_tracked.count, 9);
    for (int i = 0; i < 12; i++) { // kinds, and the tracked ones in binding order
        const Cvar *c = CvarFind(kVars[i]);
        ASSERT_NE(c, nullptr) << kVars[i];
        EXPECT_EQ(c->kind, i < 9 ? CVAR_FLOAT : CVAR_COLOR) << kVars[i];
        if (i < 9) {
            EXPECT_EQ(fishtest_tracked.vars[i], c) << kVars[i] << " bound in place " << i;
        }
    }
    renderGolden(s, 0.0f, 0x9cf9e0f0ee5e5465ull, "fish_0");
    renderGolden(s, 7.5f, 0xc9f13d178c72fbc7ull, "fish_1");
    setVar("fishtest_textureidx", 6.5f);
    setVar("fishtest_flashidx", 5.9f);
    setVar("fishtest_fish", -0.4f);
    renderGolden(s, 31.0f, 0x0d865ac112b3a7c6ull, "fish_2");
    std::vector<int> rgb; // flash colour 1, flash colour 2, plain
    for (int i : {3, 11, 251, 6, 14, 254, 0, 4, 5, 255}) {
        const Material &m = fish->boxes[i]->materials[0];
        rgb.push_back(m.red << 16 | m.green << 8 | m.blue);
    }
    EXPECT_EQ(rgb, (std::vector<int>{0xFF7233, 0xFF7233, 0xFF7233, 0x4CBFFF, 0x4CBFFF, 0x4CBFFF, 0xFFCCCC, 0xFFCCCC,
                                     0xFFCCCC, 0xFFCCCC}));
    std::vector<uint32_t> half(65536); // slot 6 with slot 0, half and half
    fishtest_crossFadeRef((const uint32_t *)fish->textures[6]->bitmap->pixels,
                          (const uint32_t *)fish->textures[0]->bitmap->pixels, half.data(), 65536, 128);
    const uint32_t *blend = (const uint32_t *)fish->blend->bitmap->pixels;
    for (float position : {6.5f, 0.25f, -0.5f, 0.25f, -7.5f, 0.25f, 13.5f}) { // another blend in between
        setVar("fishtest_textureidx", position);
        fishtest1_render(effectContext(), s->buffer0, 1.0f);
        EXPECT_EQ(std::equal(half.begin(), half.end(), blend), position != 0.25f) << position;
    }
    setVar("fishtest_motionrange", 0);
    setVar("fishtest_cameradist", -123);
    fishtest1_render(effectContext(), s->buffer0, 3.0f);
    const float *p = fish->camera->position;
    EXPECT_EQ((std::array<float, 3>{p[0], p[1], p[2]}), (std::array<float, 3>{0, 0, -123})) << "the camera's position";
    expectHostileFramesInside("fishtest_", fishtest1_render, s->buffer0, {2.0f});
}

TEST(FishTest, TubeImageAndCrossFadeKernels)
{
    std::vector<uint8_t> image;
    fishtest_tubeImage(&image);
    ObjectPtr tube(objParse(image.data(), image.size(), 1.0));
    ASSERT_NE(tube, nullptr);
    ASSERT_EQ(std::make_pair(tube->vertexCount, tube->faceCount), std::make_pair(1296, 2400)) << "vertices, faces";
    const Vertex *v = tube->vertices, &seam = v[15], &r80 = v[1284]; // ring 80, step 4: 96 degrees
    EXPECT_EQ((std::vector<int>{seam.x, seam.z, seam.v, v[1].v, v[0].y, r80.x, r80.y, r80.z, r80.nx, r80.nz}),
              (std::vector<int>{0, 350, 65536, 4369, -2000, 348, 1950, -36, 254, -26})); // normals: big-endian
    const Face &f1 = tube->faces[1], &last = tube->faces[2399];
    EXPECT_EQ((std::vector<long>{f1.a - v, f1.b - v, f1.c - v, last.a - v, last.b - v, last.c - v}),
              (std::vector<long>{16, 1, 17, 1294, 1279, 1295}));

    std::vector<uint32_t> a(16384), b(16384), fast(16384), ref(16384);
    const uint32_t one = 0xFF00C864, two = 0x10FF0000;
    fishtest_crossFadeRef(&one, &two, ref.data(), 1, 128);
    EXPECT_EQ(ref[0], 0x877F6432u); // halfway, rounded down: 0 to 255 gives 127
    // Every byte pair at every weight, SSE2 against scalar; 16,383 pixels: the tail too.
    for (uint32_t i = 0; i < 65536; i++) // byte i of a and b holds pair i
        a[i / 4] |= (i & 255) << (i % 4 * 8), b[i / 4] |= (i >> 8) << (i % 4 * 8);
    for (int w = 0; w < 256; w++) {
        SSE2_OR_REF(fishtest_crossFadeSSE2, fishtest_crossFadeRef)(a.data(), b.data(), fast.data(), 16383, w);
        fishtest_crossFadeRef(a.data(), b.data(), ref.data(), 16383, w);
        ASSERT_TRUE(sameWords(fast, ref)) << "weight " << w; // the first weight that differs is enough
    }
}

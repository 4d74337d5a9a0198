// The voxel landscape: relief filter goldens and SSE2 against the scalar rule,
// the grid, heights, golden frames over the tunnel (they change with the tunnel
// and the object layer too; checkGoldenFrame regenerates them), hostiles.

#include "core/simd.h"
#include "effecthost.h"
#include "fx/engtest.h"
#include "fx/simpletunnel.h"
#include "fx/voxel.h"
#include "host/screen.h"

static void setVoxel(float radius, float displacement, float blur, float sample)
{
    voxel_movement_radius.value = radius, voxel_displacement_scale.value = displacement;
    voxel_baseblur.value = blur, voxel_sample_scale.value = sample;
}

TEST(Voxel, ReliefFilter)
{
    std::vector<uint32_t> band(320 * 180, 0x7F7F7F7Fu), sse;
    band[5] = 0x7F7F7F8F;           // row 0: blue +16 from column 5 on
    band[320 + 7] = 0x7F6F7F7F;     // row 1: red -16, clamped to 0,
    band[320 + 9] = 0x7F9F7F7F;     // then +32: the sum is +16
    band[2 * 320 + 3] = 0xFF7F7F7F; // row 2 against grey row 3: ANDs to grey, skipped
    SSE2_OR_REF(voxelReliefSSE2, voxelReliefRef)(band.data());
    EXPECT_EQ(std::vector<uint32_t>(band.begin() + 4, band.begin() + 7), (std::vector<uint32_t>{0, 0x70, 0x70}));
    EXPECT_EQ(band[319], 0x70u);
    EXPECT_EQ(std::vector<uint32_t>(band.begin() + 327, band.begin() + 331),
              (std::vector<uint32_t>{0, 0, 0x700000, 0x700000}));
    EXPECT_EQ(std::count(band.begin() + 640, band.end(), 0u), 320 * 178); // grey rows come out black

    std::mt19937 rng(3);
    for (int round = 0; round < 20; round++) {
        for (uint32_t &p : band) // mostly grey, some small and some wild differences
            p = rng() % 3 ? 0x7F7F7F7Fu : rng() % 2 ? 0x7F7F7F7Fu + (rng() & 0x0F0F0F0F) - 0x07070707 : rng();
        sse = band;
        voxelReliefRef(band.data());
        SSE2_OR_REF(voxelReliefSSE2, voxelReliefRef)(sse.data());
        ASSERT_TRUE(sameWords(sse, band)) << "round " << round; // the first round that differs is enough
    }
}

TEST(Voxel, GridHeightsFramesAndHostileVariables)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::vector<Cvar *>(voxel_tracked.vars, voxel_tracked.vars + voxel_tracked.count),
              (std::vector<Cvar *>{&voxel_baseblur, &voxel_sample_scale, &voxel_displacement_scale}));

    const Object *g = voxel_landscape()->grid;
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->faceCount, 24320);
    std::vector<int> corners; // cell (0, 0): top, wall to cell (1, 0), wall to cell (0, 1)
    for (int f = 0; f < 6; f++)
        corners.insert(corners.end(), {obj_VertexIndex(g, g->faces[f].a), obj_VertexIndex(g, g->faces[f].b),
                                       obj_VertexIndex(g, g->faces[f].c)});
    EXPECT_EQ(corners, (std::vector<int>{0, 2, 1, 0, 3, 2, 1, 7, 4, 1, 2, 7, 3, 257, 2, 3, 256, 257}));
    EXPECT_EQ(obj_VertexIndex(g, g->faces[24319].c), 16382); // the last top, of cell (63, 63)

    // A white source, the object layer showing nothing: alpha 255 at scale 1
    // lifts to 1020; at 4 pixels a cell, rows 60 on sample below the picture.
    engtest_objectidx.value = 9;
    std::fill_n(s->buffer2, 320 * 240, 0xFFFFFFFFu);
    setVoxel(0, 1, 0, 4);
    voxel_render(effectContext(), s->buffer0, 10.0f);
    EXPECT_EQ(std::vector<float>({g->position[0], g->position[2]}), (std::vector<float>{16, 16}));
    EXPECT_EQ(g->vertices[(59 * 64 + 63) * 4].y, 1020); // cell (63, 59)
    EXPECT_EQ(g->vertices[60 * 64 * 4].y, 0);           // cell (0, 60)
    EXPECT_EQ(g->faces[24319].baseRed, 0);

    // Over the tunnel, its alpha low enough that the plain ground lies below the camera.
    const float settings[][5] = {{30, 0.25f, 0.2f, 180, 2}, {50, 0.5f, 0.15f, 60, 1}, {70, 0.1f, 0.3f, 250, 3}};
    const uint64_t golden[] = {0x4d20b87fcda4f1e3ull, 0x71bfe060fe054e1full, 0xb060e39f8f974dd7ull};
    const float colour[4] = {1, 1, 1, 0.12f};
    std::copy(colour, colour + 4, simpletunnel_color.vec);
    simpletunnel_split_period.value = 4, simpletunnel_perspective.value = 1;
    for (int i = 0; i < 3; i++) {
        const float *v = settings[i];
        simpletunnel_texture_idx.value = engtest_objectidx.value = (float)i;
        simpletunnel_angle.value = simpletunnel_shift.value = v[0];
        simpletunnel_render(effectContext(), s->buffer2, 0.0f);
        setVoxel(v[1], v[2], v[3], v[4]);
        voxel_render(effectContext(), s->buffer0, v[0]);
        checkGoldenFrame(s->buffer0, golden[i], "voxel" + std::to_string(i));
    }

    // The clamped scale bounds every column, whatever the variables hold.
    expectHostileFramesInside("voxel_", [](const EffectContext *ctx, uint32_t *frame, float t) {
        voxel_render(ctx, frame, t);
        for (int i = 0; i < 64 * 64 * 4; i++)
            ASSERT_LE(std::abs(voxel_landscape()->grid->vertices[i].y), 255 * 1024 / 64) << i;
    }, s->buffer0, {40.0f});
}

// The particles, the cloud converted by the start-up in the private tree: golden frames,
// streaks, points and stripes, hostile values.

#include "data/objfile.h"
#include "effecthost.h"
#include "fx/particles.h"
#include "host/screen.h"

// A particle at (x, y) that was on screen at (px, py) last frame (24.8).
static Vertex particleAt(int32_t x, int32_t y, int32_t px, int32_t py)
{
    Vertex v{};
    v.sx = x, v.sy = y, v.u = px | 1, v.v = py, v.cz = 500 * 256;
    return v;
}

static int litInRow(const uint32_t *frame, int row)
{
    return (int)std::count_if(frame + row * 320, frame + row * 320 + 320, [](uint32_t p) { return p != 0xFF000000u; });
}

TEST(ParticlesEffect, ConvertsTheCloudGoldenFramesAndHostileValues)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr) << "no production tree";
    uint32_t *frame = s->buffer0;
    ASSERT_NE(particles_cloud(), nullptr);
    ObjectPtr converted(objLoad("lwobj/particle_test1.lwo.lob", 1000.0));
    EXPECT_EQ(converted ? converted->vertexCount : -1, particles_cloud()->vertexCount);
    EXPECT_EQ(converted ? converted->faceCount : -1, 0);

    particles_render(effectContext(), frame, 100.0f); // records where the particles are, draws nothing
    EXPECT_EQ(litInRow(frame, 120) + litInRow(frame, 60), 0);
    const struct { float t; uint64_t hash; } golden[] = { // 103: a jump, every streak cut to 16 pixels
        {100.04f, 0x2f50ad375797e74cull}, {100.08f, 0x948080210329f063ull}, {103.0f, 0x14001e6b7c4fad49ull}};
    for (const auto &g : golden) {
        particles_render(effectContext(), frame, g.t);
        checkGoldenFrame(frame, g.hash, "particles_" + std::to_string((int)(g.t * 100)));
    }
    expectHostileFramesInside("particle_", particles_render, frame, {100.0f, 100.02f});
}

TEST(ParticlesEffect, StreaksPointsAndStripes)
{
    Screen *s = effectTestHost();
    ASSERT_NE(s, nullptr) << "no production tree";
    uint32_t *frame = s->buffer0;
    std::fill_n(frame, 320 * 240, 0xFF000000u);
    markGuardRows(frame);
    ParticleShading shading = {0, 500, 900, 0}; // period 0: c = 129 everywhere; no stripes
    const int32_t row = 100 * 256;

    Vertex still = particleAt(100 * 256, row, 100 * 256, row); // L = 4: one pixel
    particles_drawVertex(frame, &still, &shading);
    EXPECT_EQ(frame[100 * 320 + 100], 0xFF182030u);
    EXPECT_EQ(still.u, 100 * 256 | 1);
    shading.stripeSize = 1; // depth 500 lies on stripe 1
    EXPECT_EQ(particles_colour(&shading, 0, 500 * 256), 0xFF979FAFu);
    EXPECT_EQ(particles_colour(&shading, 0, 502 * 256), 0xFF182030u);

    Vertex wasOff = particleAt(200 * 256, row, 10 * 256, row);
    wasOff.u &= ~1; // off screen last frame: only recorded
    particles_drawVertex(frame, &wasOff, &shading);
    EXPECT_EQ(litInRow(frame, 100), 1);
    EXPECT_EQ(wasOff.u, 200 * 256 | 1);

    Vertex fast = particleAt(50 * 256, 150 * 256, 0, 150 * 256); // 50 pixels in a frame: cut to 16
    particles_drawVertex(frame, &fast, &shading);
    EXPECT_EQ(litInRow(frame, 150), 17);
    EXPECT_EQ(frame[150 * 320 + 50], 0xFF979FAFu);

    Vertex edge = particleAt(315 * 256, 200 * 256, 81281, 200 * 256); // streak ends on column 320
    particles_drawVertex(frame, &edge, &shading);
    EXPECT_NE(frame[200 * 320 + 319], 0xFF000000u);
    EXPECT_EQ(frame[201 * 320], 0xFF000000u);
    Vertex pastEdge = particleAt(315 * 256, 190 * 256, 81600, 190 * 256); // ends past it: not drawn
    Vertex leavesBand = particleAt(60 * 256, 31 * 256, 60 * 256, 25 * 256);
    Vertex aboveBand = particleAt(60 * 256, 20 * 256, 60 * 256, 20 * 256);
    for (Vertex *v : {&pastEdge, &leavesBand, &aboveBand})
        particles_drawVertex(frame, v, &shading);
    for (int unlit : {190, 31, 20})
        EXPECT_EQ(litInRow(frame, unlit), 0) << "row " << unlit;
    EXPECT_EQ(aboveBand.u, 60 * 256 | 1);
    EXPECT_TRUE(guardRowsIntact(frame));
}

// Rasteriser benchmarks: a fixed set of random triangles per fill mode, and
// the packed Gouraud row against its scalar reference. With --picture=PATH the
// program instead writes a picture of every mode as a PNG, to look at.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "data/pngwrite.h"
#include "core/common.h"
#include "render/raster.h"
#include "render/raster_local.h"

namespace {

const int kTriangles = 5000;

// A frame block as the display allocates it, drawn through its first visible row.
struct Frame {
    uint32_t *block;
    uint32_t *pixels;
    Frame() : block((uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, 4)), pixels(block + FRAME_GUARD_PIXELS) {}
    ~Frame() { freeAligned(block); }
    void clear(uint32_t value)
    {
        for (int i = 0; i < FRAME_BLOCK_PIXELS; i++)
            block[i] = value;
    }
};

Texture *checkerTexture()
{
    Texture *tex = txt_CreateTexture(256, 256, BITMAP_RGB32);
    uint32_t *t = (uint32_t *)tex->bitmap->pixels;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            t[y * 256 + x] = ((x ^ y) & 32) ? 0x00E0C080u | (uint32_t)x << 8 : 0x00203060u | (uint32_t)y;
    return tex;
}

Material modeMaterial(int mode, Texture *texture)
{
    Material m;
    memset(&m, 0, sizeof m);
    m.mode = (uint8_t)mode;
    m.texture = texture;
    rnd_ModeSlots(mode, &m.clipFill, &m.triFill);
    return m;
}

// kTriangles faces inside the screen, 2 to 80 pixels across, fixed seed.
struct TriangleSet {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    explicit TriangleSet(Material *material)
        : vertices(3 * kTriangles), faces(kTriangles)
    {
        std::mt19937 rng(12345);
        for (int i = 0; i < kTriangles; i++) {
            int size = 2 + (int)(rng() % 79);
            int cx = size + (int)(rng() % (320 - 2 * size)), cy = size + (int)(rng() % (240 - 2 * size));
            for (int k = 0; k < 3; k++) {
                Vertex &v = vertices[3 * i + k];
                memset(&v, 0, sizeof v);
                v.sx = (cx << 8) + (int)(rng() % (2 * size * 256)) - size * 256; // pixel -> 24.8
                v.sy = (cy << 8) + (int)(rng() % (2 * size * 256)) - size * 256;
                v.colour = (uint32_t)rng();
                v.u = (int32_t)(rng() % 65536);
                v.v = (int32_t)(rng() % 65536);
            }
            Face &f = faces[i];
            memset(&f, 0, sizeof f);
            f.a = &vertices[3 * i];
            f.b = &vertices[3 * i + 1];
            f.c = &vertices[3 * i + 2];
            f.material = material;
            f.colour = 0x00101010u | (uint32_t)rng();
        }
    }
};

void fillMode(benchmark::State &state, int mode)
{
    Texture *tex = checkerTexture();
    Material material = modeMaterial(mode, tex);
    TriangleSet set(&material);
    Frame frame;
    frame.clear(0x7F7F7F7F);
    rnd_SetTarget(frame.pixels);
    rnd_SetClipLines(-1, 239);
    for (auto _ : state) {
        for (Face &f : set.faces)
            rnd_DrawFace(&f);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kTriangles);
    txt_FreeTexture(tex);
}

void BM_FillFlat(benchmark::State &state) { fillMode(state, MODE_FLAT); }
void BM_FillGouraud(benchmark::State &state) { fillMode(state, MODE_GOURAUD); }
void BM_FillTextured(benchmark::State &state) { fillMode(state, MODE_TEXTURED); }
void BM_FillEdgeAccumulate(benchmark::State &state) { fillMode(state, MODE_EDGES); }
BENCHMARK(BM_FillFlat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillGouraud)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillTextured)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillEdgeAccumulate)->Unit(benchmark::kMicrosecond);

void gouraudRow(benchmark::State &state, GouraudRowFn row)
{
    const int n = (int)state.range(0);
    std::vector<uint32_t> dst(n);
    const int32_t start[4] = {200 << 8, 10 << 8, 90 << 8, 0};
    const int32_t step[4] = {-150, 180, 37, 0}; // 8.8 per pixel
    for (auto _ : state) {
        row(dst.data(), n, start, step);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
#ifdef VANTOREL_SSE2
void BM_GouraudRowPackedSSE2(benchmark::State &state) { gouraudRow(state, span_GouraudRowPackedSSE2); }
BENCHMARK(BM_GouraudRowPackedSSE2)->Arg(16)->Arg(64)->Arg(320);
#endif
void BM_GouraudRowPackedRef(benchmark::State &state) { gouraudRow(state, span_GouraudRowPackedRef); }
BENCHMARK(BM_GouraudRowPackedRef)->Arg(16)->Arg(64)->Arg(320);

// The picture: flat, Gouraud and textured triangles and lines on the upper
// part, edge accumulation resolved as its effect does (running sum of byte -
// 127 along each row, times 7, clamped) on the lower part.
int writePicture(const char *path)
{
    Texture *tex = checkerTexture();
    Material flat = modeMaterial(MODE_FLAT, nullptr), gouraud = modeMaterial(MODE_GOURAUD, nullptr);
    Material textured = modeMaterial(MODE_TEXTURED, tex), edges = modeMaterial(MODE_EDGES, nullptr);
    struct Tri {
        Material *m;
        float x[3], y[3];
        uint32_t colour[3];
        uint32_t face;
    };
    const Tri tris[] = {
        {&flat, {10, 90, 30}, {8, 30, 110}, {0, 0, 0}, 0x00D04030},
        {&flat, {70, 100, 60}, {60, 95, 118}, {0, 0, 0}, 0x0040B0E0},
        {&gouraud, {110, 200, 130}, {10, 40, 115}, {0x00FF0000, 0x0000FF00, 0x000000FF}, 0},
        {&gouraud, {180, 215, 150}, {70, 118, 112}, {0x00FFFFFF, 0x00000000, 0x00FFFF00}, 0},
        {&textured, {220, 330, 250}, {-10, 50, 118}, {0, 0, 0}, 0}, // crosses the right edge: clipped
        {&edges, {20, 150, 60}, {125, 160, 235}, {0, 0, 0}, 0x00102030},
        {&edges, {170, 300, 210}, {130, 150, 250}, {0, 0, 0}, 0x00281008}, // crosses the bottom clip line
    };
    Frame picture, accum;
    picture.clear(0x00202020);
    accum.clear(0x7F7F7F7F);
    rnd_SetClipLines(-1, 239);
    for (const Tri &t : tris) {
        Vertex v[3];
        uint8_t flags = 0;
        for (int k = 0; k < 3; k++) {
            memset(&v[k], 0, sizeof v[k]);
            v[k].sx = (int32_t)(t.x[k] * 256); // pixel -> 24.8
            v[k].sy = (int32_t)(t.y[k] * 256);
            v[k].colour = t.colour[k];
            v[k].u = (int32_t)(t.x[k] * 512) & 0xFFFF;
            v[k].v = (int32_t)(t.y[k] * 512) & 0xFFFF;
            flags |= (v[k].sx < 0 ? CLIP_LEFT : 0) | (v[k].sx > 319 * 256 ? CLIP_RIGHT : 0) |
                     (v[k].sy < -256 ? CLIP_TOP : 0) | (v[k].sy > 239 * 256 ? CLIP_BOTTOM : 0);
        }
        Face f;
        memset(&f, 0, sizeof f);
        f.a = &v[0];
        f.b = &v[1];
        f.c = &v[2];
        f.material = t.m;
        f.clipFlags = flags;
        f.colour = t.face;
        rnd_SetTarget(t.m == &edges ? accum.pixels : picture.pixels);
        rnd_DrawFace(&f);
    }
    for (int i = 0; i < 12; i++) {
        const float from[2] = {(float)(5 + i * 26) * 256, 228.0f * 256}, to[2] = {(float)(20 + i * 27) * 256, (float)(120 + i * 9) * 256};
        line_Draw2D(picture.pixels, from, to, 0x00FFE080);
    }
    for (int y = 120; y < 240; y++) {
        int sum[3] = {0, 0, 0};
        for (int x = 0; x < 320; x++) {
            uint32_t p = accum.pixels[y * 320 + x], out = 0;
            for (int ch = 0; ch < 3; ch++) {
                sum[ch] += (int)(p >> (8 * ch) & 255) - 127;
                int level = sum[ch] * 7;
                out |= (uint32_t)(level < 0 ? 0 : level > 255 ? 255 : level) << (8 * ch);
            }
            if (out)
                picture.pixels[y * 320 + x] = out;
        }
    }
    int ok = pngWriteFile(path, picture.pixels, FRAME_WIDTH, FRAME_HEIGHT, FRAME_WIDTH, 0);
    txt_FreeTexture(tex);
    printf(ok ? "wrote %s\n" : "could not write %s\n", path);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++)
        if (!strncmp(argv[i], "--picture=", 10))
            return writePicture(argv[i] + 10);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The voxel landscape: the object layer drawn over the tunnel in frame
// buffer 2 is blurred into frame buffer 1 and read back as a 64 x 64 field of
// column heights (alpha) and colours; the columns are drawn by edge
// accumulation over a grey clear and the relief filter fills them in.
#include "fx/voxel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/common.h"
#include "core/simd.h" // Required for: SSE2_OR_REF and the SSE2 relief filter
#include "cvar/cvarfile.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "post/filter.h"
#include "render/light.h"
#include "render/object.h"
#include "render/scene.h"
#include "render/view.h"
#include "core/mathfn.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

// Edge accumulation adds and subtracts packed differences over this clear:
// every byte keeps a bias of 127 so that the sums stay inside their bytes.
// !!! the relief filter's bias and its untouched-pixel test depend on it !!!
static const uint32_t RELIEF_GREY = 0x7F7F7F7Fu;
enum {
    RELIEF_BIAS = 127,
    RELIEF_GAIN = 7,
    GRID_ORIGIN = -512, // the grid spans -512..512 in x and z
    SHADE_TOP = 24,     // the shade ramp's ceiling: the relief sums many faces
    BLUR_LAST_ROW = 238, // an odd row count: the blurs take row 239 with it
};

// The fixed camera: high over one corner of the grid, looking down past its centre.
static const float CAMERA_FOCAL_LENGTH = 148.0f;
static const float CAMERA_NEAR_Z = 30.0f;
static const float CAMERA_POSITION[3] = {300.0f, 300.0f, -300.0f};
static const float CAMERA_AIM[3] = {120.0f, -300.0f, 0.0f};
static const float SCROLL_RATE = 20.0f, SCROLL_STEP = 0.014285714f; // the scroll circle's angle: t * rate * step
static const float SCROLL_SCALE = 128.0f;
static const float LAYER_TIME_SCALE = 0.25f;

// ---------------------------------------------------------------------------
// Variables
// ---------------------------------------------------------------------------

Cvar voxel_movement_radius = cvarDefine("voxel_movement_radius", "0", 0, 0.5f);
Cvar voxel_displacement_scale = cvarDefine("voxel_displacement_scale", "1", 0, 1);
Cvar voxel_baseblur = cvarDefine("voxel_baseblur", "0", 0, 255);
Cvar voxel_sample_scale = cvarDefine("voxel_sample_scale", "1", 1, 4);

static Cvar *const voxelVarList[] = {&voxel_movement_radius, &voxel_displacement_scale, &voxel_baseblur,
                                     &voxel_sample_scale};
static Cvar *const voxelTrackedList[] = {&voxel_baseblur, &voxel_sample_scale, &voxel_displacement_scale};
const CvarList voxel_vars = cvarListOf(voxelVarList);
const CvarList voxel_tracked = cvarListOf(voxelTrackedList);

// ---------------------------------------------------------------------------
// Module state (built once by the setup)
// ---------------------------------------------------------------------------

static VoxelLandscape landscape;
static int32_t cellFirstFace[VOXEL_CELLS];
static uint8_t cellFaceCount[VOXEL_CELLS];

// ---------------------------------------------------------------------------
// Set-up helpers
// ---------------------------------------------------------------------------

// Four corners per cell at height 0, and the cell's faces: the top, then the
// walls toward the next column and the next row, which close the steps
// between neighbours since a cell's corners always share one height.
static void buildGrid(Object *grid)
{
    Vertex *v = grid->vertices;
    Face *f = grid->faces;
    int faces = 0;
    for (int i = 0; i < VOXEL_GRID; i++) {
        for (int j = 0; j < VOXEL_GRID; j++) {
            const int cell = i * VOXEL_GRID + j;
            Vertex *c = &v[cell * 4];
            const int32_t x0 = VOXEL_CELL_SIZE * j + GRID_ORIGIN, z0 = VOXEL_CELL_SIZE * i + GRID_ORIGIN;
            const int32_t corners[4][2] = {{x0, z0}, {x0 + VOXEL_CELL_SIZE, z0},
                                           {x0 + VOXEL_CELL_SIZE, z0 + VOXEL_CELL_SIZE}, {x0, z0 + VOXEL_CELL_SIZE}};
            for (int k = 0; k < 4; k++) {
                c[k].x = corners[k][0];
                c[k].y = 0;
                c[k].z = corners[k][1];
            }
            cellFirstFace[cell] = faces;
            auto add = [&](Vertex *a, Vertex *b, Vertex *d) {
                f[faces].a = a;
                f[faces].b = b;
                f[faces].c = d;
                faces++;
            };
            add(&c[0], &c[2], &c[1]);
            add(&c[0], &c[3], &c[2]);
            if (j < VOXEL_GRID - 1) {
                Vertex *n = c + 4;
                add(&c[1], &n[3], &n[0]);
                add(&c[1], &c[2], &n[3]);
            }
            if (i < VOXEL_GRID - 1) {
                Vertex *m = c + VOXEL_GRID * 4;
                add(&c[3], &m[1], &c[2]);
                add(&c[3], &m[0], &m[1]);
            }
            cellFaceCount[cell] = (uint8_t)(faces - cellFirstFace[cell]);
        }
    }
    grid->faceCount = faces;
}

// ---------------------------------------------------------------------------
// Relief filter
// ---------------------------------------------------------------------------

void voxelReliefRef(uint32_t *band)
{
    for (int row = 0; row < PICTURE_ROWS; row += 2) {
        uint32_t *rows[2] = {band + row * FRAME_WIDTH, band + (row + 1) * FRAME_WIDTH};
        uint16_t acc[2][4];
        uint32_t out[2] = {0, 0};
        std::fill(&acc[0][0], &acc[0][0] + 8, (uint16_t)RELIEF_BIAS);
        for (int x = 0; x < FRAME_WIDTH; x++) {
            if ((rows[0][x] & rows[1][x]) != RELIEF_GREY) {
                for (int r = 0; r < 2; r++) {
                    out[r] = 0;
                    for (int lane = 0; lane < 4; lane++) {
                        const int byte = (rows[r][x] >> (8 * lane)) & 255;
                        acc[r][lane] = (uint16_t)(acc[r][lane] + byte - RELIEF_BIAS); // 16-bit wrap
                        const int16_t level = (int16_t)(uint16_t)((acc[r][lane] - RELIEF_BIAS) * RELIEF_GAIN);
                        out[r] |= (uint32_t)std::clamp<int>(level, 0, 255) << (8 * lane);
                    }
                }
            }
            rows[0][x] = out[0];
            rows[1][x] = out[1];
        }
    }
}

#ifdef VANTOREL_SSE2
// The scalar rule without its branch: a grey pair adds nothing to the sums,
// and the output is always the gain applied to the sum (a pair before any
// other pixel gives 0, a grey pair repeats its left neighbour, as the rule
// says). The sums along a row become running prefix sums over four pixels,
// kept without the bias the rule starts from, which the output removes again.
static inline __m128i reliefRow(__m128i pixels, __m128i greyLo, __m128i greyHi, __m128i *acc)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(RELIEF_BIAS);
    const __m128i gain = _mm_set1_epi16(RELIEF_GAIN);
    // Two pixels per register, four 16-bit channels each.
    __m128i d01 = _mm_andnot_si128(greyLo, _mm_sub_epi16(_mm_unpacklo_epi8(pixels, zero), bias));
    __m128i d23 = _mm_andnot_si128(greyHi, _mm_sub_epi16(_mm_unpackhi_epi8(pixels, zero), bias));
    d01 = _mm_add_epi16(d01, _mm_slli_si128(d01, 8)); // [d0, d0 + d1]
    d23 = _mm_add_epi16(d23, _mm_slli_si128(d23, 8));
    __m128i s01 = _mm_add_epi16(d01, *acc); // acc holds the running sum in both halves
    __m128i carry = _mm_unpackhi_epi64(s01, s01);
    __m128i s23 = _mm_add_epi16(d23, carry);
    *acc = _mm_unpackhi_epi64(s23, s23);
    // mullo keeps the low 16 bits; packus saturates them, read as signed, to 0..255.
    return _mm_packus_epi16(_mm_mullo_epi16(s01, gain), _mm_mullo_epi16(s23, gain));
}

void voxelReliefSSE2(uint32_t *band)
{
    const __m128i grey = _mm_set1_epi32((int)RELIEF_GREY);
    static_assert(FRAME_WIDTH % 4 == 0, "the rows go four pixels at a time");
    for (int row = 0; row < PICTURE_ROWS; row += 2) {
        uint32_t *upper = band + row * FRAME_WIDTH, *lower = upper + FRAME_WIDTH;
        __m128i accUpper = _mm_setzero_si128(), accLower = accUpper; // the sums less the bias
        for (int x = 0; x < FRAME_WIDTH; x += 4) {
            const __m128i p = _mm_loadu_si128((const __m128i *)(upper + x));
            const __m128i q = _mm_loadu_si128((const __m128i *)(lower + x));
            // A pixel pair is skipped when the two pixels ANDed are the grey.
            const __m128i skip = _mm_cmpeq_epi32(_mm_and_si128(p, q), grey);
            const __m128i skipLo = _mm_unpacklo_epi32(skip, skip), skipHi = _mm_unpackhi_epi32(skip, skip);
            _mm_storeu_si128((__m128i *)(upper + x), reliefRow(p, skipLo, skipHi, &accUpper));
            _mm_storeu_si128((__m128i *)(lower + x), reliefRow(q, skipLo, skipHi, &accLower));
        }
    }
}
#endif

// ---------------------------------------------------------------------------
// Effect entry points
// ---------------------------------------------------------------------------

const VoxelLandscape *voxel_landscape(void)
{
    return &landscape;
}

void voxel_setup(const EffectContext *ctx)
{
    CvarRegisterList(&voxel_vars);
    CvarAddFile("voxel.vars"); // read by the next setup that loads the queued files

    landscape.scene = (Scene *)calloc(1, sizeof(Scene));
    Object *grid = landscape.grid = obj_Create(VOXEL_VERTICES, VOXEL_FACE_ROOM);
    if (grid) {
        buildGrid(grid);
        obj_ComputeFaceNormals(grid);
        grid->lighting = LIGHT_BASE_FOG;
        obj_SetProperty(grid, PROP_MODE, MODE_EDGES);
        obj_SetProperty(grid, PROP_DOUBLE_SIDED, 1);
        obj_SetProperty(grid, PROP_OUTLINE, 0);
        obj_SetProperty(grid, PROP_COLOUR, 0xFFFFFFFF);
        obj_BuildShadeTable(grid, 0, SHADE_TOP, 1.0);
        obj_UpdateFlags(grid);
        grid->hasGeometry = 0;
    }

    landscape.camera = obj_CreateCamera();
    if (landscape.camera)
        landscape.camera->motion = fxKeyedMotion(fxCameraKeys, FX_CAMERA_KEYS); // never played back
    landscape.light = obj_CreateLight();
    if (landscape.light)
        landscape.light->motion = fxKeyedMotion(fxLightKeys, FX_LIGHT_KEYS);

    if (landscape.scene) {
        landscape.scene->camera = landscape.camera;
        scn_AddObject(landscape.scene, grid);
        landscape.scene->smallFacePool = 1;
        scn_Lock(landscape.scene);
    }
    engtest_setup(ctx);
}

// The object layer is drawn over frame buffer 2, which the landscape then
// samples; the frame itself is filled before the landscape is drawn.
void voxel_carry(const EffectContext *ctx, CarryMap *map, float)
{
    if (!ctx->scratch1 || !ctx->scratch2 || !ctx->view || !landscape.scene || !landscape.grid || !landscape.camera)
        return;
    carryChange(map, CARRY_SCRATCH2, CARRY_SCRATCH2);
    carryChange(map, CARRY_SCRATCH1 | CARRY_PICTURE, CARRY_SCRATCH2); // blurred into frame buffer 1, every row
}

void voxel_render(const EffectContext *ctx, uint32_t *pixels, float t)
{
    Scene *scene = landscape.scene;
    Object *grid = landscape.grid, *camera = landscape.camera;
    if (!pixels || !ctx->scratch1 || !ctx->scratch2 || !ctx->view || !scene || !grid || !camera)
        return; // setup did not run or ran out of memory
    uint32_t *source = ctx->scratch2, *blurred = ctx->scratch1;

    engtest_render(ctx, source, t * LAYER_TIME_SCALE);
    const int32_t blur = truncInt(voxel_baseblur.value);
    const FilterParams params = filterParamsFor(blur, blur);
    blurRowsV(source, blurred, 0, BLUR_LAST_ROW, &params);
    blurRowsH(blurred, blurred, 0, BLUR_LAST_ROW, &params);

    // The sampling window circles through the picture; A and B run 0..256 r.
    const float phi = t * SCROLL_RATE * SCROLL_STEP;
    const float radius = voxel_movement_radius.value;
    float a = SCROLL_SCALE * radius * (mth_sinf(phi) + 1.0f);
    float b = SCROLL_SCALE * radius * (mth_cosf(phi) + 1.0f);
    if (!std::isfinite(a))
        a = 0.0f;
    if (!std::isfinite(b))
        b = 0.0f;

    camera->focalLength = CAMERA_FOCAL_LENGTH;
    ctx->view->nearZ = CAMERA_NEAR_Z;
    camera->hasTarget = 2; // aim at targetPoint
    camera->target = nullptr;
    std::copy(CAMERA_POSITION, CAMERA_POSITION + 3, camera->position);
    std::copy(CAMERA_AIM, CAMERA_AIM + 3, camera->targetPoint);
    // Sub-cell smoothing: the grid slides by the window's fraction of a cell.
    grid->position[0] = VOXEL_CELL_SIZE * (1.0f - (a - std::floor(a)));
    grid->position[1] = 0.0f;
    grid->position[2] = VOXEL_CELL_SIZE * (1.0f - (b - std::floor(b)));

    std::fill_n(pixels, FRAME_WIDTH * FRAME_HEIGHT, RELIEF_GREY);

    // Heights and colours: a window that a track pushes off the picture
    // samples nothing, so the sample point is formed in 64 bits.
    const int64_t u = truncInt(a), v = truncInt(b), step = truncInt(voxel_sample_scale.value);
    const int32_t scale = std::clamp(truncInt(voxel_displacement_scale.value * 256.0f), -VOXEL_SCALE_LIMIT,
                                     (int32_t)VOXEL_SCALE_LIMIT);
    for (int i = 0; i < VOXEL_GRID; i++) {
        for (int j = 0; j < VOXEL_GRID; j++) {
            const int64_t sx = step * (u + j), sy = step * (v + i);
            uint32_t colour = 0;
            int32_t height = 0;
            if (sx >= 0 && sx < FRAME_WIDTH && sy >= 0 && sy < FRAME_HEIGHT) {
                colour = blurred[sy * FRAME_WIDTH + sx];
                height = (int32_t)(colour >> 24) * scale >> 6;
            }
            const int cell = i * VOXEL_GRID + j;
            Vertex *corner = &grid->vertices[cell * 4];
            for (int k = 0; k < 4; k++)
                corner[k].y = height;
            Face *face = &grid->faces[cellFirstFace[cell]];
            for (int k = 0; k < cellFaceCount[cell]; k++) {
                face[k].baseBlue = (uint8_t)colour;
                face[k].baseGreen = (uint8_t)(colour >> 8);
                face[k].baseRed = (uint8_t)(colour >> 16);
                face[k].baseSpare = (uint8_t)(colour >> 24);
            }
        }
    }

    grid->dynamicNormals = 1;
    grid->hasSingleSided = 0;
    scene->unsorted = 1;
    scn_Render(ctx->view, scene, pixels);
    SSE2_OR_REF(voxelReliefSSE2, voxelReliefRef)(pixels + PICTURE_OFFSET_PIXELS);
}

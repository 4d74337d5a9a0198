// Post-processing passes over the picture: chromatic aberration, glow with its
// lens term, glitch displacement and brightness. The per-byte arithmetic runs
// in the kernels of post_sse2.cpp (or post_ref.cpp); this file sets them up.
#include "post/post.h"

#include <algorithm> // Required for: std::clamp, std::min, std::fill_n

#include "core/common.h"
#include "core/simd.h" // Required for: SSE2_OR_REF
#include "core/tables.h"
#include "post/filter.h"
#include "post/post_local.h"
#include "render/bitmap.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

enum {
    PICTURE_LAST_ROW = PICTURE_FIRST_ROW + PICTURE_ROWS - 1, // frame row 209
    PICTURE_PIXELS = FRAME_WIDTH * PICTURE_ROWS,             // 57,600
    // Aberration shifts d whose reads (up to 2d rows and 4d columns away,
    // rows capped at frame row 210) all stay inside the 240 frame rows. The
    // offset's own range, 0..1000, gives 0..10.
    ABERRATION_SHIFT_MIN = -14,   // (30 + 2d) * 320 + 4d >= 0
    ABERRATION_SHIFT_MAX = 2320,  // 210 * 320 + 319 + 4d < 240 * 320
    GLITCH_LAST_COLUMN = FRAME_WIDTH - 2,   // the block's left column, 318
    GLITCH_LAST_ROW = PICTURE_ROWS - 1,     // 179
    GLITCH_GUARD_ROW = -32,                 // picture row -32: frame row -2, in the upper guard band
    // Strengths beyond this move any block with a non-neutral byte past every
    // clamp anyway (by at least 512 and 440 pixels): clamping them changes no
    // result and keeps the products inside 32 bits before the * 220.
    GLITCH_STRENGTH_MAX = 1 << 17,
    GLITCH_NEUTRAL = 127,
};

// ---------------------------------------------------------------------------
// Variables
// ---------------------------------------------------------------------------

Cvar post_brightnedd = cvarDefine("post_brightnedd", "1", 0, 2);
Cvar post_edgedetect = cvarDefine("post_edgedetect", "0", 0, 1);
Cvar post_edgedetect_factor = cvarDefine("post_edgedetect_factor", "0", 0, 5);
Cvar post_edgedetect_additive = cvarDefine("post_edgedetect_additive", "0", 0, 1);
Cvar post_aberration = cvarDefine("post_aberration", "0", 0, 1);
Cvar post_aberration_offset = cvarDefine("post_aberration_offset", "100", 0, 1000);
Cvar post_aberration_blur = cvarDefine("post_aberration_blur", "0", 0, 255);
Cvar post_glow = cvarDefine("post_glow", "0", 0, 1);
Cvar post_glow_blur_h = cvarDefine("post_glow_blur_h", "0", 0, 255);
Cvar post_glow_blur_v = cvarDefine("post_glow_blur_v", "0", 0, 255);
Cvar post_glow_lens = cvarDefine("post_glow_lens", "0", 0, 1); // saved with the others; unread
Cvar post_glow_strength = cvarDefine("post_glow_strength", "0", 0, 10);
Cvar post_glow_color = cvarDefine("post_glow_color", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1);
Cvar post_glow_threshold = cvarDefine("post_glow_threshold", "0 0 0 0", 0, 0, CVAR_COLOR, 0, 0, 0, 0);
Cvar post_glitch_index = cvarDefine("post_glitch_index", "0", 0, 99); // saved with the others; unread
Cvar post_glitch_brightness = cvarDefine("post_glitch_brightness", "0", 0, 512);
Cvar post_glitch_xstrength = cvarDefine("post_glitch_xstrength", "0", 0, 32);
Cvar post_glitch_ystrength = cvarDefine("post_glitch_ystrength", "0", 0, 32);
Cvar post_blur_h = cvarDefine("post_blur_h", "0", 0, 255);
Cvar post_blur_v = cvarDefine("post_blur_v", "0", 0, 255);

// ---------------------------------------------------------------------------
// Module state
// ---------------------------------------------------------------------------

uint8_t aberrationMask[ABERRATION_MASK_ROWS][ABERRATION_MASK_PAIRS];

const PostKernels *pst_Kernels = &SSE2_OR_REF(pst_KernelsSSE2, pst_KernelsRef);

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

// A colour component times 255 as a threshold byte. Components outside 0..1
// (or NaN) would spill into the neighbouring bytes: they are held to a byte.
static uint32_t thresholdByte(float component)
{
    return (uint32_t)std::clamp(truncInt(component * 255.0f), 0, 255);
}

// The glow's 13.3 colour term of one component: c = component * 255 *
// strength, held to the range whose c << 3 is still a signed 16-bit value
// (c = 255 for white at strength 1; the variables' ranges reach 2550).
static int16_t glowColour(float component, float strength)
{
    int32_t c = std::clamp(truncInt(component * 255.0f * strength), (int32_t)GLOW_COLOUR_MIN, (int32_t)GLOW_COLOUR_MAX);
    return (int16_t)(c * (1 << GLOW_FRAC)); // to 13.3; c may be negative, so no left shift
}

// Picture row of a glitch read: out of the picture means the guard row.
static inline int32_t glitchRow(int32_t row)
{
    return row < 0 || row > GLITCH_LAST_ROW ? GLITCH_GUARD_ROW : row;
}

// The displacement pixels, or null when the picture cannot be read as 160 x 90
// 32-bit pixels with stride 160 (a missing slot, a failed or odd-sized load).
static const uint32_t *glitchMap(const Texture *displacement)
{
    if (!displacement || !displacement->bitmap)
        return nullptr;
    const Bitmap *b = displacement->bitmap;
    if (!b->pixels || b->format != BITMAP_RGB32 || b->width < GLITCH_MAP_WIDTH || b->height < GLITCH_MAP_HEIGHT)
        return nullptr;
    return (const uint32_t *)b->pixels;
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

void aberrationMaskBuild(void)
{
    for (int r = 0; r < ABERRATION_MASK_ROWS; r++) {
        for (int c = 0; c < ABERRATION_MASK_PAIRS; c++) {
            // Distance of the pair's odd pixel from the frame centre (160, 120),
            // through the table root, as every mask user expects.
            int x = 2 * c + 1 - 160;
            int y = r - 120;
            int q = x * x + y * y;
            double dist = q == 0 ? 0.0 : fastSqrt((double)q);
            int n = (int)dist;
            double s = n * 0.00625;
            double weight = s * s * s * 255.0;
            aberrationMask[r][c] = weight >= 255.0 ? 255 : (uint8_t)weight;
        }
    }
}

AberrationSettings postAberrationSettings(void)
{
    AberrationSettings s = {};
    s.shift = std::clamp(truncInt(truncInt(post_aberration_offset.value) * 0.01), (int32_t)ABERRATION_SHIFT_MIN,
                         (int32_t)ABERRATION_SHIFT_MAX);
    s.blurred = post_aberration_blur.value != 0.0f;
    if (s.blurred) {
        int32_t b = truncInt(post_aberration_blur.value);
        s.blur = filterParamsFor(b, b);
    }
    return s;
}

void postAberration(uint32_t *frame, uint32_t *scratch, const AberrationSettings *settings)
{
    if (!frame || !scratch || !settings)
        return;
    const int32_t d = settings->shift;
    const uint32_t *source = frame; // read in place: see the kernel's contract
    if (settings->blurred) {
        blurRowsH(frame, scratch, PICTURE_FIRST_ROW, PICTURE_LAST_ROW, &settings->blur);
        blurRowsV(scratch, scratch, PICTURE_FIRST_ROW, PICTURE_LAST_ROW, &settings->blur);
        source = scratch;
    }
    // Top to bottom, left to right: with d >= 0 every read in place lies at or
    // after the pixel being written, so it still sees the picture as it was
    // (a negative d reads rows already done, the same in both kernel sets).
    const AberrationRowFn row = pst_Kernels->aberrationRow;
    for (int32_t y = PICTURE_FIRST_ROW; y <= PICTURE_LAST_ROW; y++) {
        int32_t a = std::min(y + d, PICTURE_LAST_ROW + 1);
        int32_t b2 = std::min(y + 2 * d, PICTURE_LAST_ROW + 1);
        // Columns past 319 run on into the next row, as the addressing gives.
        row(frame + y * FRAME_WIDTH, source + y * FRAME_WIDTH, source + a * FRAME_WIDTH + 2 * d,
            source + b2 * FRAME_WIDTH + 4 * d, aberrationMask[y], FRAME_WIDTH);
    }
}

GlowSettings postGlowSettings(void)
{
    GlowSettings s = {};
    s.blur = filterParamsFor(truncInt(post_glow_blur_h.value), truncInt(post_glow_blur_v.value));
    // The threshold is taken off as the horizontal blur reads the picture,
    // even at coefficient 0; every other blur runs with threshold 0.
    const float *t = post_glow_threshold.vec; // r, g, b, a
    s.blur.threshold = thresholdByte(t[3]) << 24 | thresholdByte(t[0]) << 16 | thresholdByte(t[1]) << 8 |
                       thresholdByte(t[2]);
    s.blur.thresholdChanged = s.blur.threshold != 0;
    s.blurV = post_glow_blur_v.value > 0.0f;
    const float *c = post_glow_color.vec;
    const float strength = post_glow_strength.value;
    // Blue, green, red, fourth: the byte order.
    s.colour8[0] = glowColour(c[2], strength);
    s.colour8[1] = glowColour(c[1], strength);
    s.colour8[2] = glowColour(c[0], strength);
    s.colour8[3] = glowColour(c[3], strength);
    return s;
}

void postGlow(uint32_t *frame, uint32_t *scratch, const GlowSettings *settings)
{
    if (!frame || !scratch || !settings)
        return;
    uint32_t *glow = scratch;
    blurRowsH(frame, glow, PICTURE_FIRST_ROW, PICTURE_LAST_ROW, &settings->blur);
    if (settings->blurV) {
        FilterParams plain = settings->blur;
        plain.threshold = 0;
        plain.thresholdChanged = 0;
        blurRowsV(glow, glow, PICTURE_FIRST_ROW, PICTURE_LAST_ROW, &plain);
    }

    uint32_t *picture = frame + PICTURE_OFFSET_PIXELS;
    const uint32_t *glowPicture = glow + PICTURE_OFFSET_PIXELS;
    pst_Kernels->glowAdd(picture, glowPicture, PICTURE_PIXELS, settings->colour8);
    pst_Kernels->lensAdd(picture, glowPicture + PICTURE_PIXELS - 1, PICTURE_PIXELS);
}

void postGlitch(uint32_t *frame, uint32_t *scratch, int32_t xs, int32_t ys, const Texture *displacement)
{
    if (!frame || !scratch)
        return;
    uint32_t *picture = frame + PICTURE_OFFSET_PIXELS;
    const uint32_t *source = scratch + PICTURE_OFFSET_PIXELS; // picture row 0 of the copy
    pictureCopy(scratch + PICTURE_OFFSET_PIXELS, picture);
    const uint32_t *map = glitchMap(displacement);
    if (!map)
        return;
    xs = std::clamp(xs, (int32_t)-GLITCH_STRENGTH_MAX, (int32_t)GLITCH_STRENGTH_MAX);
    ys = std::clamp(ys, (int32_t)-GLITCH_STRENGTH_MAX, (int32_t)GLITCH_STRENGTH_MAX);

    // One displacement per 2 x 2 block; all shifts are arithmetic (floor).
    for (int32_t y = 0; y < PICTURE_ROWS; y += 2) {
        const uint32_t *mapRow = map + (y >> 1) * GLITCH_MAP_WIDTH;
        for (int32_t x = 0; x < FRAME_WIDTH; x += 2) {
            uint32_t p = mapRow[x >> 1];
            int32_t r = (int32_t)((p >> 16) & 0xFF) - GLITCH_NEUTRAL;
            int32_t g = (int32_t)((p >> 8) & 0xFF) - GLITCH_NEUTRAL;
            int32_t x1 = std::clamp(x + ((r * xs) >> 8), 0, (int32_t)GLITCH_LAST_COLUMN);
            int32_t x2 = std::clamp(x + (int32_t)((int64_t)r * xs * 220 >> 16), 0, (int32_t)GLITCH_LAST_COLUMN);
            int32_t y1 = glitchRow(y + ((g * ys) >> 8));
            int32_t y2 = glitchRow(y + (int32_t)((int64_t)g * ys * 220 >> 16));
            // Red moves the full amount, green and blue 220/256 of it. At y1 or
            // y2 = 179 the second row reads picture row 180 (frame row 210),
            // which the copy does not refresh.
            const uint32_t *red = source + y1 * FRAME_WIDTH + x1;
            const uint32_t *greenBlue = source + y2 * FRAME_WIDTH + x2;
            uint32_t *out = picture + y * FRAME_WIDTH + x;
            out[0] = (red[0] & 0x00FF0000u) | (greenBlue[0] & 0x0000FFFFu);
            out[1] = (red[1] & 0x00FF0000u) | (greenBlue[1] & 0x0000FFFFu);
            out[FRAME_WIDTH] = (red[FRAME_WIDTH] & 0x00FF0000u) | (greenBlue[FRAME_WIDTH] & 0x0000FFFFu);
            out[FRAME_WIDTH + 1] = (red[FRAME_WIDTH + 1] & 0x00FF0000u) | (greenBlue[FRAME_WIDTH + 1] & 0x0000FFFFu);
        }
    }
}

void postBrightness(uint32_t *picture, int32_t level)
{
    if (!picture || level == 255)
        return;
    if (level < 255) {
        // level >> 1 is the 0.7 scale; below 0 every product is at most 0,
        // which clamps to 0 just as scale 0 gives.
        int32_t scale = std::clamp(level >> 1, 0, (int32_t)BRIGHTNESS_SCALE_MAX);
        pst_Kernels->darken(picture, PICTURE_PIXELS, scale);
    } else {
        pst_Kernels->brighten(picture, PICTURE_PIXELS, (uint32_t)(level & 0xFF) * 0x01010101u);
    }
}

// ---------------------------------------------------------------------------
// The chain
// ---------------------------------------------------------------------------

int postAberrationReadsPastBand(const AberrationSettings *settings)
{
    return settings->blurred; // the shifted rows run to row 210 of the blurred copy
}

int postPlanReadsPastBand(const PostPlan *plan)
{
    // The glitch copy's row 180 is frame row 210.
    return (plan->runAberration && postAberrationReadsPastBand(&plan->aberration)) || plan->runGlitch;
}

void postPlanFromVariables(PostPlan *plan)
{
    *plan = PostPlan();
    plan->blur = filterParamsFor(truncInt(post_blur_h.value), truncInt(post_blur_v.value)); // held to 0..255
    plan->runBlurH = post_blur_h.value > 0.0f;
    plan->runBlurV = post_blur_v.value > 0.0f;

    plan->runEdges = post_edgedetect.value > 0.5f;
    plan->edgeShift = truncInt(post_edgedetect_factor.value);
    plan->edgeAdditive = post_edgedetect_additive.value > 0.0f;

    plan->runAberration = post_aberration.value != 0.0f;
    if (plan->runAberration)
        plan->aberration = postAberrationSettings();
    plan->runGlow = post_glow.value != 0.0f;
    if (plan->runGlow)
        plan->glow = postGlowSettings();

    plan->glitchX = truncInt(post_glitch_xstrength.value);
    plan->glitchY = truncInt(post_glitch_ystrength.value);
    plan->runGlitch = post_glitch_xstrength.value > 0.0f || post_glitch_ystrength.value != 0.0f ||
                      post_glitch_brightness.value > 0.0f;

    plan->runBrightness = post_brightnedd.value != 1.0f;
    plan->brightnessLevel = truncInt(post_brightnedd.value * 255.0f);
}

void postPlanEveryPass(PostPlan *plan)
{
    *plan = PostPlan();
    plan->blur = filterParamsFor(128, 128);
    plan->runBlurH = plan->runBlurV = 1;
    plan->runEdges = 1;
    plan->edgeShift = 1;
    plan->edgeAdditive = 1;
    plan->runAberration = 1;
    plan->aberration = postAberrationSettings();
    plan->runGlow = 1;
    plan->glow = postGlowSettings();
    plan->runGlitch = 1;
    plan->glitchX = plan->glitchY = 16;
    plan->logoAlpha = 217;
    plan->runBrightness = 1;
    plan->brightnessLevel = 200;
}

void postRunChain(uint32_t *frame, uint32_t *scratch, const PostPlan *plan)
{
    uint32_t *picture = frame + PICTURE_OFFSET_PIXELS;
    if (plan->layerAt == POST_LAYER_BEFORE && plan->drawLayer)
        plan->drawLayer(frame, 2);
    if (plan->runBlurH)
        blurRowsH(frame, frame, PICTURE_FIRST_ROW, PICTURE_LAST_ROW, &plan->blur);
    if (plan->runBlurV)
        blurRowsV(frame, frame, PICTURE_FIRST_ROW, PICTURE_LAST_ROW, &plan->blur);
    if (plan->runEdges)
        edgeDetect(picture, plan->edgeShift, plan->edgeAdditive);
    if (plan->runAberration)
        postAberration(frame, scratch, &plan->aberration);
    if (plan->runGlow)
        postGlow(frame, scratch, &plan->glow);
    if (plan->runGlitch) {
        const Texture *displacement =
            plan->pickDisplacement ? plan->pickDisplacement(plan->demoSeconds) : plan->displacement;
        postGlitch(frame, scratch, plan->glitchX, plan->glitchY, displacement);
    }
    if (plan->logoAlpha > 0 && plan->logo)
        blitAlpha(picture, plan->logo, 0, 0, plan->logoAlpha);
    if (plan->layerAt == POST_LAYER_AFTER && plan->drawLayer)
        plan->drawLayer(frame, 2);
    if (plan->runBrightness)
        postBrightness(picture, plan->brightnessLevel);
    postClearLetterbox(frame);
}

void postClearLetterbox(uint32_t *frame)
{
    std::fill_n(frame, PICTURE_OFFSET_PIXELS, 0u);
    std::fill_n(frame + (PICTURE_FIRST_ROW + PICTURE_ROWS) * FRAME_WIDTH, PICTURE_OFFSET_PIXELS, 0u);
}

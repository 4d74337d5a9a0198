// The painting kit of the picture generators: colours, seeded randomness,
// tiling noise, blurs, masks and text in the console font.
#include "pictures.h"

#include <algorithm>
#include <cmath>

#include "cvar/consolefont.h"

// ---------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------

Color colorHex(uint32_t rgb, float alpha)
{
    return Color{((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f, alpha};
}

Color colorMix(Color a, Color b, float t)
{
    return Color{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Color colorScale(Color c, float k)
{
    return Color{c.r * k, c.g * k, c.b * k, c.a};
}

Color colorAdd(Color a, Color b)
{
    return Color{a.r + b.r, a.g + b.g, a.b + b.b, a.a};
}

Color ramp(const Color *stops, int count, float t)
{
    t = std::clamp(t, 0.0f, 1.0f) * (float)(count - 1);
    int i = std::min((int)t, count - 2);
    return colorMix(stops[i], stops[i + 1], t - (float)i);
}

Color rampCyclic(const Color *stops, int count, float t)
{
    t -= std::floor(t);
    t *= (float)count;
    int i = std::min((int)t, count - 1);
    return colorMix(stops[i], stops[(i + 1) % count], t - (float)i);
}

// ---------------------------------------------------------------------------
// Randomness
// ---------------------------------------------------------------------------

uint32_t Rng::next()
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return (uint32_t)((z ^ (z >> 31)) >> 32);
}

float Rng::unit()
{
    return (float)(next() >> 8) * (1.0f / 16777216.0f); // 24 bits: exact in a float, never 1
}

int Rng::below(int n)
{
    return n <= 1 ? 0 : (int)(((uint64_t)next() * (uint64_t)n) >> 32);
}

float Rng::range(float lo, float hi)
{
    return lo + (hi - lo) * unit();
}

// Lattice hash: a well-mixed 32-bit value per integer point and seed.
static uint32_t hashPoint(int x, int y, uint32_t seed)
{
    uint32_t h = (uint32_t)x * 0x8DA6B343u ^ (uint32_t)y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

static float hashUnit(int x, int y, uint32_t seed)
{
    return (float)(hashPoint(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

static int wrapIndex(int i, int n)
{
    i %= n;
    return i < 0 ? i + n : i;
}

// ---------------------------------------------------------------------------
// Tiling noise
// ---------------------------------------------------------------------------

float noiseTiled(float u, float v, int cells, uint32_t seed)
{
    float x = u * (float)cells, y = v * (float)cells;
    float fx = std::floor(x), fy = std::floor(y);
    int ix = (int)fx, iy = (int)fy;
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    int x0 = wrapIndex(ix, cells), x1 = wrapIndex(ix + 1, cells);
    int y0 = wrapIndex(iy, cells), y1 = wrapIndex(iy + 1, cells);
    float a = hashUnit(x0, y0, seed), b = hashUnit(x1, y0, seed);
    float c = hashUnit(x0, y1, seed), d = hashUnit(x1, y1, seed);
    float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float fbmTiled(float u, float v, int cells, int octaves, uint32_t seed)
{
    float sum = 0, weight = 0, amplitude = 1;
    for (int o = 0; o < octaves; o++) {
        sum += noiseTiled(u, v, cells << o, seed + (uint32_t)o * 101u) * amplitude;
        weight += amplitude;
        amplitude *= 0.5f;
    }
    return sum / weight;
}

Cells cellsTiled(float u, float v, int cells, uint32_t seed)
{
    float x = u * (float)cells, y = v * (float)cells;
    int ix = (int)std::floor(x), iy = (int)std::floor(y);
    Cells result{1e9f, 1e9f, 0};
    for (int dy = -1; dy <= 1; dy++) {
        for (int dx = -1; dx <= 1; dx++) {
            int cx = ix + dx, cy = iy + dy;
            // The feature point belongs to the wrapped cell, so the pattern repeats.
            int wx = wrapIndex(cx, cells), wy = wrapIndex(cy, cells);
            float px = (float)cx + 0.15f + 0.7f * hashUnit(wx, wy, seed);
            float py = (float)cy + 0.15f + 0.7f * hashUnit(wx, wy, seed ^ 0x5bd1e995u);
            float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
            if (d < result.f1) {
                result.f2 = result.f1;
                result.f1 = d;
                result.id = hashPoint(wx, wy, seed + 7u);
            } else if (d < result.f2) {
                result.f2 = d;
            }
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// Blur and dilation
// ---------------------------------------------------------------------------

// One box pass along a line of n values `step` apart.
static void boxLine(float *line, int n, int step, int radius, bool wrap, std::vector<float> &scratch)
{
    scratch.resize((size_t)n + 2 * radius + 1);
    // scratch[k] holds the prefix sum of the extended line up to k - 1.
    scratch[0] = 0;
    for (int k = 0; k < n + 2 * radius; k++) {
        int i = k - radius;
        int src = wrap ? wrapIndex(i, n) : std::clamp(i, 0, n - 1);
        scratch[(size_t)k + 1] = scratch[(size_t)k] + line[(size_t)src * step];
    }
    float norm = 1.0f / (float)(2 * radius + 1);
    for (int i = 0; i < n; i++)
        line[(size_t)i * step] = (scratch[(size_t)i + 2 * radius + 1] - scratch[(size_t)i]) * norm;
}

void blurMask(Mask &mask, int radius, int passes, bool wrap)
{
    if (radius <= 0)
        return;
    std::vector<float> scratch;
    for (int p = 0; p < passes; p++) {
        for (int y = 0; y < mask.height; y++)
            boxLine(&mask.at(0, y), mask.width, 1, radius, wrap, scratch);
        for (int x = 0; x < mask.width; x++)
            boxLine(&mask.at(x, 0), mask.height, mask.width, radius, wrap, scratch);
    }
}

Mask dilateMask(const Mask &mask, int radius)
{
    Mask out(mask.width, mask.height);
    for (int y = 0; y < mask.height; y++) {
        for (int x = 0; x < mask.width; x++) {
            float best = 0;
            for (int dy = -radius; dy <= radius; dy++)
                for (int dx = -radius; dx <= radius; dx++)
                    if (dx * dx + dy * dy <= radius * radius + radius)
                        best = std::max(best, mask.get(x + dx, y + dy));
            out.at(x, y) = best;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Compositing
// ---------------------------------------------------------------------------

static void blendOver(Color &dst, Color src, float coverage)
{
    float a = std::clamp(src.a * coverage, 0.0f, 1.0f);
    if (a <= 0)
        return;
    float outA = a + dst.a * (1 - a);
    float keep = dst.a * (1 - a);
    dst.r = (src.r * a + dst.r * keep) / outA;
    dst.g = (src.g * a + dst.g * keep) / outA;
    dst.b = (src.b * a + dst.b * keep) / outA;
    dst.a = outA;
}

void paintMaskWith(Canvas &canvas, const Mask &mask, int x, int y, const std::function<Color(int, int)> &color)
{
    for (int my = 0; my < mask.height; my++) {
        int cy = y + my;
        if (cy < 0 || cy >= canvas.height)
            continue;
        for (int mx = 0; mx < mask.width; mx++) {
            int cx = x + mx;
            float m = mask.at(mx, my);
            if (cx < 0 || cx >= canvas.width || m <= 0)
                continue;
            blendOver(canvas.at(cx, cy), color(cx, cy), m);
        }
    }
}

void paintMask(Canvas &canvas, const Mask &mask, int x, int y, Color color)
{
    paintMaskWith(canvas, mask, x, y, [color](int, int) { return color; });
}

void addMask(Canvas &canvas, const Mask &mask, int x, int y, Color color)
{
    for (int my = 0; my < mask.height; my++) {
        int cy = y + my;
        if (cy < 0 || cy >= canvas.height)
            continue;
        for (int mx = 0; mx < mask.width; mx++) {
            int cx = x + mx;
            if (cx < 0 || cx >= canvas.width)
                continue;
            float m = mask.at(mx, my);
            Color &d = canvas.at(cx, cy);
            d.r += color.r * m;
            d.g += color.g * m;
            d.b += color.b * m;
        }
    }
}

// ---------------------------------------------------------------------------
// Motifs
// ---------------------------------------------------------------------------

// World depth z = 240 / d; lines lie at whole z and at whole world x, and
// their distances are measured back in pixels through the projection.
float floorGridDistance(float x, float d, float centreX)
{
    float z = 240.0f / d;
    float wx = (x - centreX) * z / 180.0f;
    float across = std::fabs(wx - std::round(wx)) * 180.0f / z;
    float along = std::fabs(z - std::round(z)) * d * d / 240.0f;
    return std::min(across, along);
}

// ---------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------

int textWidth(const std::string &text, int scale, int gap)
{
    if (text.empty())
        return 0;
    return (int)text.size() * CONSOLE_FONT_WIDTH * scale + ((int)text.size() - 1) * gap;
}

Mask textMask(const std::string &text, int scale, int gap)
{
    Mask mask(std::max(textWidth(text, scale, gap), 1), CONSOLE_FONT_HEIGHT * scale);
    int left = 0;
    for (char ch : text) {
        int code = (unsigned char)ch;
        if (code >= CONSOLE_FONT_FIRST && code <= CONSOLE_FONT_LAST) {
            const uint8_t *rows = consoleFont[code - CONSOLE_FONT_FIRST];
            for (int row = 0; row < CONSOLE_FONT_HEIGHT; row++)
                for (int col = 0; col < CONSOLE_FONT_WIDTH; col++)
                    if (rows[row] & (0x10 >> col))
                        for (int sy = 0; sy < scale; sy++)
                            for (int sx = 0; sx < scale; sx++)
                                mask.at(left + col * scale + sx, row * scale + sy) = 1.0f;
        }
        left += CONSOLE_FONT_WIDTH * scale + gap;
    }
    return mask;
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

static uint32_t toByte(float c)
{
    return (uint32_t)std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f);
}

Picture pictureFromCanvas(const Canvas &canvas, bool alpha)
{
    Picture picture;
    picture.width = canvas.width;
    picture.height = canvas.height;
    picture.alpha = alpha;
    picture.pixels.resize(canvas.px.size());
    for (size_t i = 0; i < canvas.px.size(); i++) {
        const Color &c = canvas.px[i];
        uint32_t a = alpha ? toByte(c.a) : 255u;
        // A fully transparent pixel carries no colour; keep it zero so the
        // files do not hold stray values the blend never shows.
        if (a == 0) {
            picture.pixels[i] = 0;
            continue;
        }
        picture.pixels[i] = a << 24 | toByte(c.r) << 16 | toByte(c.g) << 8 | toByte(c.b);
    }
    return picture;
}

// The tunnel's three background textures and the fish tube's seven textures.
// Both effects wrap their 256 x 256 textures in both directions (the tunnel's
// angle and depth bytes, the tube's scrolling u and its once-around v), so
// every motif here repeats exactly over 256 pixels. They are seen enlarged
// and bent, so the structure is bold: large shapes, hard outlines, strong hues.
#include "pictures.h"

#include <algorithm>
#include <cmath>

enum { TEX = 256 };

static const float TAU = 6.28318530717958647692f;

static float smooth01(float e0, float e1, float x)
{
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// Distance from x to the nearest multiple of period, in pixels.
static float edgeDistance(int x, int period)
{
    int m = x % period;
    return (float)std::min(m, period - 1 - m);
}

template <typename Shader> static Picture shadeTexture(Shader shader)
{
    Canvas canvas(TEX, TEX);
    for (int y = 0; y < TEX; y++)
        for (int x = 0; x < TEX; x++)
            canvas.at(x, y) = shader(x, y, (x + 0.5f) / TEX, (y + 0.5f) / TEX);
    return pictureFromCanvas(canvas, false);
}

// Dark outlines wherever the band number changes between neighbours (with
// wrap), the pixel-art way of making flat colour areas read at a distance.
static void outlineBands(Canvas &canvas, const std::vector<int> &band, Color ink)
{
    std::vector<Color> src = canvas.px;
    for (int y = 0; y < TEX; y++) {
        for (int x = 0; x < TEX; x++) {
            int b = band[(size_t)y * TEX + x];
            int right = band[(size_t)y * TEX + (x + 1) % TEX];
            int down = band[(size_t)((y + 1) % TEX) * TEX + x];
            if (b != right || b != down)
                canvas.at(x, y) = colorMix(src[(size_t)y * TEX + x], ink, 0.8f);
        }
    }
}

// ---------------------------------------------------------------------------
// Tunnel
// ---------------------------------------------------------------------------

// Bevelled hull panels in bricked rows, cyan light leaking from the seams,
// a few panels with a magenta light slot, rivets in the corners.
static Picture tunnelPanels()
{
    const Color hull[3] = {colorHex(0x2A1B4D), colorHex(0x22305E), colorHex(0x3A1F5C)};
    const Color seam = colorHex(0x5FF4FF), slot = colorHex(0xFF3FB4);
    return shadeTexture([&](int x, int y, float u, float v) {
        const int rowH = 32, colW = 64;
        int row = y / rowH;
        int sx = (x + (row & 1) * (colW / 2)) % TEX; // bricked: odd rows half a panel over
        int col = sx / colW;
        int px = sx % colW, py = y % rowH;
        uint32_t id = (uint32_t)(row * 7 + col * 13);
        Color c = hull[id % 3];
        float grime = fbmTiled(u, v, 8, 4, 11);
        c = colorScale(c, 0.75f + 0.5f * grime);
        // Pixel-art bevel: light top and left, dark bottom and right.
        if (py < 3 || px < 3)
            c = colorMix(c, colorHex(0x8C7BD6), 0.55f);
        if (py >= rowH - 4 || px >= colW - 4)
            c = colorMix(c, colorHex(0x0B0618), 0.6f);
        // A slot of light in every third panel, horizontally through its middle.
        if (id % 3 == 1 && px >= 12 && px < colW - 12 && py >= 13 && py < 19) {
            float glow = 1.0f - std::fabs((float)py - 15.5f) / 3.0f;
            c = colorMix(colorHex(0x5A0F40), slot, 0.5f + 0.5f * glow);
        }
        // Rivets 6 pixels in from each corner.
        for (int cy : {6, rowH - 7})
            for (int cx : {6, colW - 7}) {
                float d = std::hypot((float)(px - cx), (float)(py - cy));
                if (d < 2.6f)
                    c = d < 1.2f && px <= cx && py <= cy ? colorHex(0xE8E0FF) : colorHex(0x7A6AB8);
            }
        // Seams and their light.
        float e = std::min(edgeDistance(px, colW), edgeDistance(py, rowH));
        if (e < 1.0f)
            return seam;
        return colorAdd(c, colorScale(seam, 0.55f * std::exp(-e / 2.5f)));
    });
}

// A banded plasma from whole-number sine waves (so it tiles), cycled through
// a vivid palette, flat bands with dark outlines.
static Picture tunnelPlasma()
{
    const Color stops[6] = {colorHex(0xFF2E63), colorHex(0xFF9A3C), colorHex(0xFFE45E),
                            colorHex(0x3CE6B0), colorHex(0x2F7BFF), colorHex(0x9B3CFF)};
    Canvas canvas(TEX, TEX);
    std::vector<int> band((size_t)TEX * TEX);
    for (int y = 0; y < TEX; y++) {
        for (int x = 0; x < TEX; x++) {
            float u = (x + 0.5f) / TEX, v = (y + 0.5f) / TEX;
            float wu = u + 0.08f * (fbmTiled(u, v, 4, 3, 21) - 0.5f);
            float wv = v + 0.08f * (fbmTiled(u, v, 4, 3, 22) - 0.5f);
            float p = std::sin(TAU * (2 * wu + wv)) + std::sin(TAU * (3 * wv - wu)) +
                      std::sin(TAU * (wu + 4 * wv)) * 0.6f + std::sin(TAU * 3 * wu) * 0.8f;
            float t = p * 0.22f;
            int b = (int)std::floor(t * 10.0f);
            band[(size_t)y * TEX + x] = b;
            float inBand = t * 10.0f - (float)b;
            Color c = rampCyclic(stops, 6, (float)b / 10.0f);
            // Each band is lit a little from its lower edge up: a stepped, embossed look.
            canvas.at(x, y) = colorScale(c, 0.7f + 0.35f * inBand);
        }
    }
    outlineBands(canvas, band, colorHex(0x140820));
    return pictureFromCanvas(canvas, false);
}

// Cooled rock plates with glowing cracks between them.
static Picture tunnelLava()
{
    const Color rock[4] = {colorHex(0x120507), colorHex(0x3A0E0C), colorHex(0x6B1E10), colorHex(0x8C3A1C)};
    const Color fire[4] = {colorHex(0xB31200), colorHex(0xFF5A00), colorHex(0xFFC21A), colorHex(0xFFF7C0)};
    return shadeTexture([&](int, int, float u, float v) {
        Cells c = cellsTiled(u, v, 6, 31);
        float crack = c.f2 - c.f1;
        float grain = fbmTiled(u, v, 16, 4, 32);
        float plate = 0.25f + 0.55f * grain + 0.2f * (float)(c.id % 5) / 4.0f;
        plate *= 1.0f - 0.45f * smooth01(0.0f, 0.5f, c.f1); // plates darken away from their centre
        Color col = ramp(rock, 4, plate);
        float heat = 1.0f - smooth01(0.0f, 0.16f, crack);
        float core = 1.0f - smooth01(0.0f, 0.05f, crack);
        col = colorMix(col, ramp(fire, 4, 0.3f + 0.7f * core), heat);
        // Smaller cracks inside the plates, from a second, finer cell pattern.
        Cells fine = cellsTiled(u, v, 16, 33);
        float thin = 1.0f - smooth01(0.0f, 0.06f, fine.f2 - fine.f1);
        return colorMix(col, fire[1], thin * 0.55f * (1.0f - heat));
    });
}

Picture tunnelTexture(int number)
{
    switch (number) {
    case 1:
        return tunnelPanels();
    case 2:
        return tunnelPlasma();
    default:
        return tunnelLava();
    }
}

// ---------------------------------------------------------------------------
// Fish
// ---------------------------------------------------------------------------

// Overlapping scales in rows, each row half a scale over; the lower row lies
// on top. Teal bodies with gold rims and a sheen toward the lower edge.
static Picture fishScales()
{
    const Color body[3] = {colorHex(0x0E5E6F), colorHex(0x1B8C8C), colorHex(0x2AB3A0)};
    const Color rim = colorHex(0xFFD166), dark = colorHex(0x06202A);
    return shadeTexture([&](int x, int y, float, float) {
        const int w = 32, h = 16;
        float radius = 18.0f;
        int row = y / h;
        for (int r = row + 1; r >= row - 1; r--) {
            int wr = ((r % (TEX / h)) + TEX / h) % (TEX / h);
            float cy = (float)(r * h);
            int shift = (wr & 1) * (w / 2);
            for (int k = -1; k <= 1; k++) {
                int i = ((x - shift) / w) + k;
                float cx = (float)(i * w + shift + w / 2);
                float dx = (float)x + 0.5f - cx, dy = (float)y + 0.5f - cy;
                // Wrap the distance so scales crossing the texture edge continue.
                dx -= TEX * std::round(dx / TEX);
                float d = std::sqrt(dx * dx + dy * dy);
                if (d < radius && dy > -4.0f) {
                    uint32_t id = (uint32_t)(wr * 31 + ((i % 8) + 8) % 8 * 17);
                    Color c = body[id % 3];
                    float t = d / radius;
                    c = colorMix(c, colorHex(0xB8FFF0), 0.45f * smooth01(0.35f, 0.8f, dy / radius)); // sheen
                    if (t > 0.84f)
                        return t > 0.93f ? dark : rim;
                    return colorScale(c, 0.75f + 0.35f * t);
                }
            }
        }
        return dark;
    });
}

// Living cells: glowing membranes around dark violet nuclei.
static Picture fishCells()
{
    const Color inside[3] = {colorHex(0x3B0A57), colorHex(0x7A1FA2), colorHex(0xD94CC8)};
    return shadeTexture([&](int, int, float u, float v) {
        Cells c = cellsTiled(u, v, 7, 41);
        float edge = c.f2 - c.f1;
        Color col = ramp(inside, 3, std::clamp(0.25f + c.f1 * 1.1f, 0.0f, 1.0f));
        col = colorScale(col, 0.8f + 0.4f * (float)(c.id % 3) / 2.0f);
        if (c.f1 < 0.12f) // nucleus
            col = colorMix(colorHex(0x1A0430), colorHex(0x4CE0FF), smooth01(0.12f, 0.03f, c.f1));
        if (edge < 0.05f)
            return colorHex(0x0A0214);
        return colorAdd(col, colorScale(colorHex(0x6FD6FF), 0.8f * (1.0f - smooth01(0.05f, 0.18f, edge))));
    });
}

// Candy stripes across the diagonal with halftone dots in the light stripes.
static Picture fishStripes()
{
    const Color red = colorHex(0xE8304A), cream = colorHex(0xFFF1D6), ink = colorHex(0x5C0F2A);
    return shadeTexture([&](int x, int y, float, float) {
        int d = (x + y) % 64; // 256 / 64 stripes pairs: repeats both ways
        bool light = d < 32;
        float across = (float)std::min(d % 32, 31 - d % 32); // distance to the stripe edge
        Color c = light ? cream : red;
        if (across < 1.5f)
            return ink;
        if (light) {
            // Dots on a 8-pixel grid, larger toward the stripe's middle.
            float gx = (float)(x % 8) - 3.5f, gy = (float)(y % 8) - 3.5f;
            float r = 0.8f + across * 0.16f;
            if (gx * gx + gy * gy < r * r)
                c = colorHex(0xF7A1B0);
        } else {
            c = colorScale(c, 0.8f + 0.02f * across);
        }
        return c;
    });
}

// Targets: concentric rings per 64-pixel tile, the palette turned per tile.
static Picture fishRings()
{
    const Color stops[5] = {colorHex(0x0B1D51), colorHex(0x2D5BFF), colorHex(0x35E0C8), colorHex(0xFFF275),
                            colorHex(0xFF6B3D)};
    return shadeTexture([&](int x, int y, float, float) {
        int tx = x / 64, ty = y / 64;
        float dx = (float)(x % 64) - 31.5f, dy = (float)(y % 64) - 31.5f;
        float d = std::sqrt(dx * dx + dy * dy);
        int ring = (int)(d / 6.0f);
        float phase = (float)((tx + ty) % 2) * 0.5f + (float)((tx * 3 + ty) % 4) * 0.1f;
        Color c = rampCyclic(stops, 5, (float)ring / 5.0f + phase);
        float inRing = d / 6.0f - (float)ring;
        if (inRing > 0.82f)
            return colorHex(0x06091C);
        return colorScale(c, 0.8f + 0.3f * (1.0f - inRing));
    });
}

// Deep-water marble: warped noise with white veins.
static Picture fishMarble()
{
    const Color sea[4] = {colorHex(0x031A3A), colorHex(0x0B4F8A), colorHex(0x1FA3C9), colorHex(0x9FF3FF)};
    return shadeTexture([&](int, int, float u, float v) {
        float q = fbmTiled(u, v, 3, 4, 51), r = fbmTiled(u, v, 3, 4, 52);
        float n = fbmTiled(u + 0.35f * q, v + 0.35f * r, 4, 5, 53);
        // Veins follow a smoother field than the body, so they stay long and unbroken.
        float smoothN = fbmTiled(u + 0.35f * q, v + 0.35f * r, 4, 2, 53);
        float vein = std::fabs(std::sin(TAU * (smoothN * 4.0f + u + v)));
        Color c = ramp(sea, 4, smooth01(0.3f, 0.7f, n));
        c = colorMix(colorHex(0xF0FFFF), c, smooth01(0.0f, 0.18f, vein));
        return colorScale(c, 0.85f + 0.3f * q);
    });
}

// Bevelled checker tiles, orange and purple, with an inset diamond in each.
static Picture fishChecker()
{
    const Color a = colorHex(0xFF8A1F), b = colorHex(0x5B2A86);
    return shadeTexture([&](int x, int y, float, float) {
        const int s = 32;
        int cx = x % s, cy = y % s;
        bool first = ((x / s) + (y / s)) % 2 == 0;
        Color c = first ? a : b;
        if (cx < 3 || cy < 3)
            c = colorMix(c, colorHex(0xFFFFFF), 0.45f);
        else if (cx >= s - 3 || cy >= s - 3)
            c = colorMix(c, colorHex(0x000000), 0.5f);
        float dd = std::fabs((float)cx - 15.5f) + std::fabs((float)cy - 15.5f);
        if (dd < 8.0f)
            c = colorMix(first ? b : a, colorHex(0xFFFFFF), dd < 3.0f ? 0.5f : 0.0f);
        else if (dd < 9.5f)
            c = colorMix(c, colorHex(0x1A0A10), 0.7f);
        return c;
    });
}

// Truchet tiles of quarter circles: random orientation per 32-pixel tile
// joins the arcs into winding tubes.
static Picture fishTruchet()
{
    const Color tube[3] = {colorHex(0xFF4F9A), colorHex(0xFFD23F), colorHex(0x3FE8FF)};
    Rng rng(71);
    bool flip[8][8];
    for (auto &row : flip)
        for (bool &f : row)
            f = rng.below(2) != 0;
    return shadeTexture([&](int x, int y, float u, float v) {
        const int s = 32;
        int tx = x / s, ty = y / s;
        float lx = (float)(x % s) + 0.5f, ly = (float)(y % s) + 0.5f;
        if (flip[ty][tx])
            lx = (float)s - lx;
        float d1 = std::fabs(std::hypot(lx, ly) - s * 0.5f);
        float d2 = std::fabs(std::hypot(lx - s, ly - s) - s * 0.5f);
        float d = std::min(d1, d2);
        const float half = 6.5f;
        Color back = colorScale(colorHex(0x1B1033), 0.8f + 0.4f * fbmTiled(u, v, 8, 3, 72));
        if (d > half + 1.5f)
            return back;
        if (d > half)
            return colorHex(0x07040F);
        // Colour by which arc and tile: neighbours rarely match, so tubes change hue as they wind.
        Color c = tube[(tx + ty * 3 + (d1 < d2 ? 1 : 0)) % 3];
        float across = d / half;
        return colorScale(colorMix(c, colorHex(0xFFFFFF), 0.5f * (1.0f - smooth01(0.0f, 0.45f, across))),
                          1.0f - 0.45f * across * across);
    });
}

Picture fishTexture(int number)
{
    switch (number) {
    case 1:
        return fishScales();
    case 2:
        return fishCells();
    case 3:
        return fishStripes();
    case 4:
        return fishRings();
    case 5:
        return fishMarble();
    case 6:
        return fishChecker();
    default:
        return fishTruchet();
    }
}

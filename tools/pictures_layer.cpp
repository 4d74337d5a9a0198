// The image layer's pictures and its list. The layer draws picture number
// backimage_texture_idx into the 320 x 180 band at (backimage_x, backimage_y)
// with one of five blits: copy, add, subtract, alpha or replace-minus. So the
// set holds full-band backdrops for copying, light on black for adding, a
// vignette for subtracting, overlays with alpha, and one wide strip for
// scrolling sideways.
#include "pictures.h"

#include <algorithm>
#include <cmath>

enum { BAND_WIDTH = 320, BAND_HEIGHT = 180 };

static void addStar(Canvas &canvas, int x, int y, float brightness, Color color, int arm)
{
    for (int d = -arm; d <= arm; d++) {
        float k = brightness * (d == 0 ? 1.0f : 0.5f / (float)std::abs(d));
        for (auto [px, py] : {std::pair<int, int>{x + d, y}, std::pair<int, int>{x, y + d}}) {
            if (px < 0 || py < 0 || px >= canvas.width || py >= canvas.height || (d == 0 && py != y))
                continue;
            canvas.at(px, py) = colorAdd(canvas.at(px, py), colorScale(color, k));
        }
    }
}

// A striped sun over purple mountains and a glowing grid floor.
static Picture sunsetPicture()
{
    Canvas canvas(BAND_WIDTH, BAND_HEIGHT);
    const int horizon = 118;
    const Color sky[4] = {colorHex(0x0E0630), colorHex(0x3A0E5E), colorHex(0xB0246E), colorHex(0xFF7A3C)};
    const Color sun[3] = {colorHex(0xFFF27A), colorHex(0xFF9A3C), colorHex(0xFF2E88)};
    for (int y = 0; y < BAND_HEIGHT; y++) {
        for (int x = 0; x < BAND_WIDTH; x++) {
            Color c;
            if (y < horizon) {
                c = ramp(sky, 4, std::pow((float)y / horizon, 1.4f));
                float dx = (float)x + 0.5f - 160.0f, dy = (float)y + 0.5f - 72.0f;
                float r = std::sqrt(dx * dx + dy * dy);
                float t = (dy + 46.0f) / 92.0f;
                // Gaps through the sun's lower part, wider toward the horizon.
                bool gap = t > 0.45f && std::fmod(dy + 46.0f, 8.0f) < (t - 0.45f) * 11.0f;
                if (r < 46.0f && !gap)
                    c = ramp(sun, 3, t);
                else if (r < 70.0f)
                    c = colorAdd(c, colorScale(colorHex(0xFF4F8A), 0.35f * (1.0f - (r - 46.0f) / 24.0f)));
                // Two ranges of mountains, the near one darker.
                float u = (float)x / BAND_WIDTH;
                float far = horizon - 12.0f - 26.0f * fbmTiled(u, 0.3f, 5, 4, 201);
                float peaks = std::max(0.0f, fbmTiled(u, 0.7f, 4, 4, 202) - 0.35f);
                float nearRidge = horizon - 3.0f - 40.0f * peaks * (0.3f + 1.4f * std::fabs(u - 0.5f));
                if ((float)y > nearRidge)
                    c = (float)y < nearRidge + 1.5f ? colorHex(0xC04F9A) : colorHex(0x12061E);
                else if ((float)y > far)
                    c = (float)y < far + 1.5f ? colorHex(0xB04FD8) : colorHex(0x2A0E44);
            } else {
                float d = (float)(y - horizon) + 0.5f;
                float line = floorGridDistance((float)x + 0.5f, d, 160.0f);
                c = colorMix(colorHex(0x12041E), colorHex(0x1E0830), d / 62.0f);
                if (line < 1.0f)
                    c = colorMix(c, colorMix(colorHex(0xFF3FA0), colorHex(0x3FE8FF), d / 62.0f), 1.0f - line);
            }
            canvas.at(x, y) = c;
        }
    }
    return pictureFromCanvas(canvas, false);
}

// Coloured gas with bright stars.
static Picture nebulaPicture()
{
    Canvas canvas(BAND_WIDTH, BAND_HEIGHT);
    for (int y = 0; y < BAND_HEIGHT; y++) {
        for (int x = 0; x < BAND_WIDTH; x++) {
            float u = (float)x / BAND_WIDTH * 0.75f, v = (float)y / BAND_HEIGHT * 0.42f;
            float warp = fbmTiled(u, v, 3, 4, 301);
            float a = fbmTiled(u + 0.3f * warp, v, 4, 5, 302);
            float b = fbmTiled(u, v + 0.3f * warp, 4, 5, 303);
            Color c = colorHex(0x03020A);
            c = colorAdd(c, colorScale(colorHex(0x1FA0C8), std::pow(std::max(0.0f, a - 0.38f) * 2.2f, 1.6f)));
            c = colorAdd(c, colorScale(colorHex(0xD02A8A), std::pow(std::max(0.0f, b - 0.42f) * 2.4f, 1.5f)));
            c = colorAdd(c, colorScale(colorHex(0xFFB04F), std::pow(std::max(0.0f, a + b - 1.15f) * 2.5f, 2.0f)));
            canvas.at(x, y) = c;
        }
    }
    Rng rng(304);
    for (int i = 0; i < 160; i++) {
        float b = std::pow(rng.unit(), 3.0f);
        Color color = colorMix(colorHex(0xA8C8FF), colorHex(0xFFF0D0), rng.unit());
        addStar(canvas, rng.below(BAND_WIDTH), rng.below(BAND_HEIGHT), 0.3f + 0.7f * b, color, b > 0.6f ? 3 : 0);
    }
    return pictureFromCanvas(canvas, false);
}

// A night skyline twice the band's width, on transparency, for scrolling
// with backimage_x under the alpha blit.
static Picture skylinePicture()
{
    const int width = BAND_WIDTH * 2;
    Canvas canvas(width, BAND_HEIGHT, Color{0, 0, 0, 0});
    Rng rng(401);
    int x = 0;
    while (x < width) {
        int w = 16 + 4 * rng.below(9);
        int h = 40 + rng.below(90);
        int top = BAND_HEIGHT - h;
        bool tall = h > 100;
        Color wall = colorMix(colorHex(0x0A0A24), colorHex(0x1A1040), rng.unit());
        uint32_t windowSeed = rng.next();
        for (int px = x; px < std::min(x + w, width); px++) {
            for (int y = top; y < BAND_HEIGHT; y++) {
                int lx = px - x, ly = y - top;
                Color c = colorScale(wall, 0.7f + 0.5f * (float)ly / (float)h);
                if (lx == 0)
                    c = colorHex(0x8A3AB0); // rim light from the sunset side
                else if (lx >= 2 && lx < w - 2 && ly >= 4 && lx % 4 < 2 && ly % 5 < 3) {
                    Rng lit(windowSeed + (uint64_t)(lx / 4) * 131u + (uint64_t)(ly / 5) * 7919u);
                    int on = lit.below(10);
                    if (on < 4)
                        c = on == 0 ? colorHex(0x6FE8FF) : colorHex(0xFFD36B);
                }
                canvas.at(px, y) = c;
            }
        }
        if (tall && x + w / 2 < width) {
            // An antenna with a red light.
            int ax = x + w / 2;
            for (int y = top - 12; y < top; y++)
                canvas.at(ax, y) = colorHex(0x2A2050);
            canvas.at(ax, top - 13) = colorHex(0xFF3030);
        }
        x += w;
    }
    return pictureFromCanvas(canvas, true);
}

// Dark in the middle, light toward the edges: subtracted, it darkens the
// corners; added, it makes a soft white frame.
static Picture vignettePicture()
{
    Canvas canvas(BAND_WIDTH, BAND_HEIGHT);
    for (int y = 0; y < BAND_HEIGHT; y++) {
        for (int x = 0; x < BAND_WIDTH; x++) {
            float dx = ((float)x + 0.5f - 160.0f) / 160.0f, dy = ((float)y + 0.5f - 90.0f) / 90.0f;
            float r = std::sqrt(dx * dx * 0.8f + dy * dy * 0.6f);
            float k = std::clamp((r - 0.45f) / 0.65f, 0.0f, 1.0f);
            k = k * k * (3.0f - 2.0f * k);
            canvas.at(x, y) = Color{k, k, k * 0.95f, 1};
        }
    }
    return pictureFromCanvas(canvas, false);
}

// A camera's viewfinder on transparency: corner brackets, faint scanlines,
// captions and a centre mark.
static Picture hudPicture()
{
    Canvas canvas(BAND_WIDTH, BAND_HEIGHT, Color{0, 0, 0, 0});
    for (int y = 0; y < BAND_HEIGHT; y += 3)
        for (int x = 0; x < BAND_WIDTH; x++)
            canvas.at(x, y) = Color{0.02f, 0.05f, 0.08f, 0.25f};
    const Color ink = colorHex(0x7FF4FF);
    const int m = 8, len = 26;
    for (int i = 0; i < len; i++) {
        for (int t = 0; t < 2; t++) {
            for (auto [x, y] : {std::pair<int, int>{m + i, m + t}, {m + t, m + i}, {BAND_WIDTH - 1 - m - i, m + t},
                                {BAND_WIDTH - 1 - m - t, m + i}, {m + i, BAND_HEIGHT - 1 - m - t},
                                {m + t, BAND_HEIGHT - 1 - m - i}, {BAND_WIDTH - 1 - m - i, BAND_HEIGHT - 1 - m - t},
                                {BAND_WIDTH - 1 - m - t, BAND_HEIGHT - 1 - m - i}})
                canvas.at(x, y) = ink;
        }
    }
    paintMask(canvas, textMask("VANTOREL", 1, 1), 16, 16, ink);
    paintMask(canvas, textMask("FX 06  320x180", 1, 1), 16, BAND_HEIGHT - 24, ink);
    paintMask(canvas, textMask("REC", 1, 1), BAND_WIDTH - 16 - 17, 16, colorHex(0xFF4F4F));
    for (int dy = -2; dy <= 2; dy++)
        for (int dx = -2; dx <= 2; dx++)
            if (dx * dx + dy * dy <= 5)
                canvas.at(BAND_WIDTH - 16 - 25 + dx, 19 + dy) = colorHex(0xFF3030);
    for (int d = 3; d < 9; d++)
        for (auto [x, y] : {std::pair<int, int>{160 + d, 90}, {159 - d, 90}, {160, 90 + d}, {160, 89 - d}})
            canvas.at(x, y) = Color{ink.r, ink.g, ink.b, 0.8f};
    return pictureFromCanvas(canvas, true);
}

// Lens flare on black, for the additive blit: a streak, a hot core and ghosts
// along the line through the band's centre.
static Picture flarePicture()
{
    Canvas canvas(BAND_WIDTH, BAND_HEIGHT);
    const float sx = 230.0f, sy = 52.0f;
    for (int y = 0; y < BAND_HEIGHT; y++) {
        for (int x = 0; x < BAND_WIDTH; x++) {
            float dx = (float)x + 0.5f - sx, dy = (float)y + 0.5f - sy;
            float r = std::sqrt(dx * dx + dy * dy);
            Color c{0, 0, 0, 1};
            c = colorAdd(c, colorScale(colorHex(0xFFF4E0), std::exp(-r / 7.0f)));
            c = colorAdd(c, colorScale(colorHex(0xFF9A4F), 0.5f * std::exp(-r / 30.0f)));
            float streak = std::exp(-std::fabs(dy) / 1.6f) * std::exp(-std::fabs(dx) / 140.0f);
            c = colorAdd(c, colorScale(colorHex(0x4F8AFF), 0.9f * streak));
            // Rays.
            float angle = std::atan2(dy, dx);
            float rays = std::pow(std::fabs(std::cos(angle * 6.0f)), 40.0f);
            c = colorAdd(c, colorScale(colorHex(0xFFE0B0), 0.35f * rays * std::exp(-r / 45.0f)));
            // Ghosts mirrored through the centre.
            const float ghosts[4][3] = {{-0.4f, 10, 0.25f}, {-0.8f, 18, 0.18f}, {-1.3f, 7, 0.3f}, {0.5f, 5, 0.2f}};
            const uint32_t tints[4] = {0x3FFFB0, 0xB04FFF, 0xFF4F8A, 0x4FD8FF};
            for (int g = 0; g < 4; g++) {
                float gx = 160.0f + (sx - 160.0f) * ghosts[g][0], gy = 90.0f + (sy - 90.0f) * ghosts[g][0];
                float gr = std::hypot((float)x + 0.5f - gx, (float)y + 0.5f - gy);
                float ring = std::clamp(1.0f - std::fabs(gr - ghosts[g][1]) / 2.5f, 0.0f, 1.0f);
                float disc = gr < ghosts[g][1] ? 0.35f : 0.0f;
                c = colorAdd(c, colorScale(colorHex(tints[g]), ghosts[g][2] * (ring + disc)));
            }
            canvas.at(x, y) = c;
        }
    }
    return pictureFromCanvas(canvas, false);
}

struct LayerEntry {
    int index;
    const char *name;
    const char *use; // the blit it is made for, noted in the list
    Picture (*make)();
};

static const LayerEntry layerEntries[] = {
    {0, "backgrounds/morla/sunset.png", "backdrop (copy)", sunsetPicture},
    {1, "backgrounds/morla/nebula.png", "backdrop (copy)", nebulaPicture},
    {2, "backgrounds/morla/skyline.png", "skyline, 640 wide, for scrolling (alpha)", skylinePicture},
    {3, "backgrounds/morla/vignette.png", "vignette (subtract)", vignettePicture},
    {4, "backgrounds/morla/hud.png", "viewfinder overlay (alpha)", hudPicture},
    {5, "backgrounds/morla/flare.png", "lens flare (add)", flarePicture},
};

int layerPictureCount()
{
    return (int)(sizeof layerEntries / sizeof layerEntries[0]);
}

std::string layerPictureName(int position)
{
    return layerEntries[position].name;
}

int layerPictureIndex(int position)
{
    return layerEntries[position].index;
}

Picture layerPicture(int position)
{
    return layerEntries[position].make();
}

std::string layerListText()
{
    // One picture per line: the index, one space, the asset path to the line's
    // end. Lines starting with ';' are comments.
    std::string text = "; image layer: <index> <path>, chosen by backimage_texture_idx\n";
    for (int i = 0; i < layerPictureCount(); i++) {
        text += std::string("; ") + layerEntries[i].use + "\n";
        text += std::to_string(layerEntries[i].index) + " " + layerEntries[i].name + "\n";
    }
    return text;
}

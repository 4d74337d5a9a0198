// Greeting pictures and glitch tiles. The greets effect lays four glitch
// tiles opaque across the band, centred 80 pixels apart on its middle row
// and darkened to 179/256, then adds the greeting on top, centred. Adding
// means black is invisible: greetings are bright text and glow on black.
// Tiles are at most 80 pixels wide so neighbours meet without overlapping.
#include "pictures.h"

#include <algorithm>
#include <cmath>

#include "cvar/consolefont.h"

// ---------------------------------------------------------------------------
// Greetings
// ---------------------------------------------------------------------------

enum { GREET_WIDTH = 304, GREET_HEIGHT = 88 };

struct Greeting {
    const char *name;
    const char *line1;
    const char *line2;
    uint32_t top, bottom, glow; // name gradient and its halo
};

// The groups are made up; the words are ours.
static const Greeting greetings[17] = {
    {"COBALT MOTHS", "your lamp is still the brightest", "at every party we crash", 0xBFE8FF, 0x3F7BFF, 0x2040FF},
    {"PIXEL PELICANS", "thanks for the fish-eye lens", "we borrowed it for this", 0xFFF3B0, 0xFF9A3C, 0xFF5A1F},
    {"TEAPOT SYNDICATE", "the kettle is on", "bring your own raster bars", 0xE0FFD8, 0x4FD86B, 0x10A040},
    {"QUASAR KITTENS", "purring at 50 frames", "per second since forever", 0xFFD6F4, 0xFF4FC8, 0xC01890},
    {"LAZY RASTER", "one scanline at a time", "and never in a hurry", 0xD8FFFF, 0x3FE0E8, 0x0890A0},
    {"NEON BADGERS", "digging tunnels faster", "than our tunnel effect", 0xFFFFC8, 0xE8FF3F, 0x80A000},
    {"VOID LLAMAS", "spit on the z-buffer", "we never had one anyway", 0xE8D8FF, 0x9F6BFF, 0x5A20D0},
    {"SINE SCRIBES", "every curve you wrote", "still wobbles in our heads", 0xFFE0D0, 0xFF6B4F, 0xD02A10},
    {"OCTAL OWLS", "awake at 3 am, as always", "see you at the compo desk", 0xD0F0FF, 0x6FB8FF, 0x2A60D0},
    {"COPPER FERNS", "green gradients forever", "may your palette never fade", 0xE8FFE0, 0x8FE85A, 0x3A9A10},
    {"BYTE BAKERY", "fresh loaves of 64k", "still warm from the oven", 0xFFF0D8, 0xFFB870, 0xC06A20},
    {"HEXAGON HARES", "six sides to every story", "and all of them tiled", 0xFFE0F0, 0xFF7FB0, 0xC02A6A},
    {"MAGENTA MOLE", "the colour nobody asked for", "and everybody needed", 0xFFD8FF, 0xFF3FFF, 0xA010C0},
    {"TURBO TORTOISE", "slow and steady renders", "win the demo race", 0xE0FFF0, 0x3FFFB0, 0x10A070},
    {"VECTOR VOLES", "flat shaded and proud", "keep the polygons coming", 0xD8E8FF, 0x5F8FFF, 0x3040C0},
    {"DITHER DUCKS", "two colours, endless grey", "quack in ordered patterns", 0xFFFFE0, 0xFFE05A, 0xC09010},
    {"SCANLINE SIRENS", "your music keeps the beat", "in every frame we draw", 0xE0F8FF, 0x4FD0FF, 0x1080D0},
};

static void drawCentredText(Canvas &canvas, const std::string &text, int y, Color color)
{
    Mask mask = textMask(text, 1, 1);
    addMask(canvas, mask, (canvas.width - mask.width) / 2, y, color);
}

Picture greetingPicture(int number)
{
    const Greeting &g = greetings[std::clamp(number, 1, 17) - 1];
    Canvas canvas(GREET_WIDTH, GREET_HEIGHT);

    // "greetings to" between two small diamonds.
    drawCentredText(canvas, "greetings to", 4, colorHex(0x7FA0C0));
    int half = textWidth("greetings to", 1, 1) / 2 + 8;
    for (int side : {-1, 1}) {
        int cx = GREET_WIDTH / 2 + side * half;
        for (int dy = -2; dy <= 2; dy++)
            for (int dx = -2 + std::abs(dy); dx <= 2 - std::abs(dy); dx++)
                canvas.at(cx + dx, 7 + dy) = colorHex(g.glow);
    }

    // The name: 3x font, a halo in the group's colour, a vertical gradient and
    // every third row dimmed like a monitor's scanlines.
    const int scale = 3, gap = 3, nameY = 20;
    Mask name = textMask(g.name, scale, gap);
    int nameX = (GREET_WIDTH - name.width) / 2;
    const int pad = 8;
    Mask halo(name.width + 2 * pad, name.height + 2 * pad);
    for (int y = 0; y < name.height; y++)
        for (int x = 0; x < name.width; x++)
            halo.at(x + pad, y + pad) = name.at(x, y);
    blurMask(halo, 3, 3, false);
    addMask(canvas, halo, nameX - pad, nameY - pad, colorScale(colorHex(g.glow), 1.1f));
    Color top = colorHex(g.top), bottom = colorHex(g.bottom);
    for (int y = 0; y < name.height; y++) {
        float t = (float)y / (float)(CONSOLE_FONT_CAP_HEIGHT * scale - 1);
        Color c = colorMix(top, bottom, std::min(t, 1.0f));
        if (y % 3 == 2)
            c = colorScale(c, 0.7f);
        for (int x = 0; x < name.width; x++)
            if (name.at(x, y) > 0)
                canvas.at(nameX + x, nameY + y) = c;
    }

    drawCentredText(canvas, g.line1, 58, colorHex(0xE8E8F0));
    drawCentredText(canvas, g.line2, 70, colorHex(0xB8C0D8));
    return pictureFromCanvas(canvas, false);
}

// ---------------------------------------------------------------------------
// Glitch tiles
// ---------------------------------------------------------------------------

// Torn test-card bars: vertical colour bars, rows torn sideways in bands.
static void tileBars(Canvas &c, Rng &rng)
{
    static const uint32_t bars[7] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0};
    int shift = 0;
    for (int y = 0; y < c.height; y++) {
        if (y % 4 == 0 && rng.below(3) == 0)
            shift = rng.below(c.width) - c.width / 2;
        for (int x = 0; x < c.width; x++) {
            int bx = ((x + shift) % c.width + c.width) % c.width;
            c.at(x, y) = colorHex(bars[bx * 7 / c.width]);
        }
    }
}

// Blocky noise with its colour channels split sideways.
static void tileSplitNoise(Canvas &c, Rng &rng)
{
    int bw = 4 + 4 * rng.below(2), bh = 2 + 2 * rng.below(3);
    int cols = c.width / bw + 1, rows = c.height / bh + 1;
    std::vector<float> level((size_t)cols * rows);
    for (float &l : level)
        l = rng.unit() < 0.35f ? rng.unit() : 0.1f * rng.unit();
    int split = 2 + rng.below(4);
    auto sample = [&](int x, int y) {
        x = std::clamp(x, 0, c.width - 1);
        return level[(size_t)(y / bh) * cols + x / bw];
    };
    for (int y = 0; y < c.height; y++)
        for (int x = 0; x < c.width; x++)
            c.at(x, y) = Color{sample(x - split, y), sample(x, y) * 0.8f, sample(x + split, y), 1};
}

// Pixel-sorted streaks: each column a run of a gradient starting at a random height.
static void tileSorted(Canvas &c, Rng &rng)
{
    const Color stops[4] = {colorHex(0x12082A), colorHex(0xB0207A), colorHex(0xFF8A3C), colorHex(0xFFF0C0)};
    int start = rng.below(c.height / 2), streak = 0;
    for (int x = 0; x < c.width; x++) {
        if (streak-- <= 0) {
            start = std::clamp(start + rng.below(21) - 10, 0, c.height - 1);
            streak = 1 + rng.below(6);
        }
        for (int y = 0; y < c.height; y++) {
            float t = y < start ? 0.0f : (float)(y - start) / (float)std::max(1, c.height - start);
            c.at(x, y) = ramp(stops, 4, t);
        }
    }
}

// A corrupted memory dump: hex digits in green, some rows struck through with colour.
static void tileHexDump(Canvas &c, Rng &rng)
{
    static const char digits[] = "0123456789ABCDEF";
    for (Color &p : c.px)
        p = colorHex(0x021208);
    for (int row = 0; row * 9 + 8 <= c.height; row++) {
        std::string line;
        for (int i = 0; i < c.width / 6; i++)
            line += i % 3 == 2 ? ' ' : digits[rng.below(16)];
        Mask text = textMask(line, 1, 1);
        int shift = rng.below(5) == 0 ? rng.below(12) - 6 : 0;
        Color ink = rng.below(6) == 0 ? colorHex(0xFF4F6B) : colorHex(0x3FFF7A);
        paintMask(c, text, 1 + shift, row * 9 + 1, ink);
        if (rng.below(5) == 0)
            for (int x = 0; x < c.width; x++)
                c.at(x, row * 9 + 4) = colorHex(0xE0FFE8);
    }
}

// A scrap of landscape whose rows slipped sideways, interlaced with dark lines.
static void tileTornImage(Canvas &c, Rng &rng)
{
    const Color sky[3] = {colorHex(0x1A2A80), colorHex(0xFF4F8A), colorHex(0xFFD070)};
    uint32_t seed = rng.next();
    int shift = 0;
    for (int y = 0; y < c.height; y++) {
        if (rng.below(6) == 0)
            shift = rng.below(17) - 8;
        for (int x = 0; x < c.width; x++) {
            float u = (float)(x + shift) / 80.0f, v = (float)y / (float)c.height;
            float hill = 0.55f + 0.25f * fbmTiled(u, 0.5f, 4, 3, seed);
            Color p = v > hill ? colorHex(0x0A0518) : ramp(sky, 3, v / hill);
            if (y % 2 == 1)
                p = colorScale(p, 0.55f);
            c.at(x, y) = p;
        }
    }
}

Picture glitchTile(int number)
{
    Rng rng(1000u + (uint32_t)number);
    static const int widths[5] = {48, 56, 64, 72, 80};
    int width = widths[rng.below(5)];
    int height = 24 + 8 * rng.below(10); // 24 to 96
    Canvas canvas(width, height);
    switch ((number - 1) % 5) {
    case 0:
        tileBars(canvas, rng);
        break;
    case 1:
        tileSplitNoise(canvas, rng);
        break;
    case 2:
        tileSorted(canvas, rng);
        break;
    case 3:
        tileHexDump(canvas, rng);
        break;
    default:
        tileTornImage(canvas, rng);
        break;
    }
    // The greeting is added on top: tiles stay in the lower half of the range
    // so that the text does not burn out to white over them.
    for (Color &c : canvas.px)
        c = colorScale(c, 0.62f);
    return pictureFromCanvas(canvas, false);
}

// The two intro logos. The intro copies its 320 x 180 picture over the whole
// band and draws stars and shards on it; from fx_time 10 on the host blends
// the composition over the finished frame at (0, 0), each pixel weighted by
// its own alpha times a global alpha that stops at 216/255. So the intro
// picture is dark with a dim outline of the word, and the composition is a
// bright, outlined word on transparency at the same place: fading in, it
// lights up the outline beneath it.
#include "pictures.h"

#include <algorithm>
#include <cmath>

enum { BAND_WIDTH = 320, BAND_HEIGHT = 180 };

// ---------------------------------------------------------------------------
// Letterforms
// ---------------------------------------------------------------------------

// Design units: letters are 7 high, vertical strokes 2 wide, horizontal ones
// 1.5 high; y grows downward.
struct Point {
    float x, y;
};
struct Letter {
    float width;
    std::vector<std::vector<Point>> fills;
    std::vector<std::vector<Point>> holes;
};

static const float LETTER_HEIGHT = 7.0f;
static const float LETTER_GAP = 0.9f;
static const float SLANT = 0.22f; // italic: x moves right by this much per unit of height

static const std::vector<Letter> &wordLetters()
{
    static const std::vector<Letter> letters = {
        // V
        {7.0f, {{{0, 0}, {2, 0}, {3.5f, 4.375f}, {5, 0}, {7, 0}, {4.6f, 7}, {2.4f, 7}}}, {}},
        // A: chamfered shoulders
        {6.2f,
         {{{0, 7}, {0, 1.6f}, {1.6f, 0}, {4.6f, 0}, {6.2f, 1.6f}, {6.2f, 7},
           {4.2f, 7}, {4.2f, 4.9f}, {2, 4.9f}, {2, 7}}},
         {{{2, 1.5f}, {4.2f, 1.5f}, {4.2f, 3.4f}, {2, 3.4f}}}},
        // N
        {6.4f,
         {{{0, 0}, {2, 0}, {2, 7}, {0, 7}},
          {{4.4f, 0}, {6.4f, 0}, {6.4f, 7}, {4.4f, 7}},
          {{0, 0}, {2.1f, 0}, {6.4f, 7}, {4.3f, 7}}},
         {}},
        // T
        {6.4f, {{{0, 0}, {6.4f, 0}, {6.4f, 1.5f}, {0, 1.5f}}, {{2.2f, 0}, {4.2f, 0}, {4.2f, 7}, {2.2f, 7}}}, {}},
        // O: an octagon with a square counter
        {6.2f,
         {{{0, 1.6f}, {1.6f, 0}, {4.6f, 0}, {6.2f, 1.6f}, {6.2f, 5.4f}, {4.6f, 7}, {1.6f, 7}, {0, 5.4f}}},
         {{{2, 1.5f}, {4.2f, 1.5f}, {4.2f, 5.5f}, {2, 5.5f}}}},
        // R: the leg leaves the bowl's lower corner
        {6.4f,
         {{{0, 0}, {4.6f, 0}, {6.2f, 1.6f}, {6.2f, 3.3f}, {5.3f, 4.3f}, {6.4f, 7},
           {4.3f, 7}, {3.3f, 4.8f}, {2, 4.8f}, {2, 7}, {0, 7}}},
         {{{2, 1.5f}, {4.2f, 1.5f}, {4.2f, 3.3f}, {2, 3.3f}}}},
        // E
        {5.6f,
         {{{0, 0}, {5.6f, 0}, {5.6f, 1.5f}, {2, 1.5f}, {2, 2.75f}, {4.8f, 2.75f},
           {4.8f, 4.25f}, {2, 4.25f}, {2, 5.5f}, {5.6f, 5.5f}, {5.6f, 7}, {0, 7}}},
         {}},
        // L
        {5.4f, {{{0, 0}, {2, 0}, {2, 5.5f}, {5.4f, 5.5f}, {5.4f, 7}, {0, 7}}}, {}},
    };
    return letters;
}

// Even-odd crossing test.
static bool insidePolygon(const std::vector<Point> &poly, float x, float y)
{
    bool inside = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Point &a = poly[i], &b = poly[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

static bool insideLetter(const Letter &letter, float x, float y)
{
    for (const auto &hole : letter.holes)
        if (insidePolygon(hole, x, y))
            return false;
    for (const auto &fill : letter.fills)
        if (insidePolygon(fill, x, y))
            return true;
    return false;
}

static float wordWidthUnits()
{
    float width = 0;
    for (const Letter &letter : wordLetters())
        width += letter.width + LETTER_GAP;
    return width - LETTER_GAP + SLANT * LETTER_HEIGHT;
}

// Two thin horizontal cuts through the lower half of every letter, the
// chrome logo's speed lines.
static bool insideCut(float y)
{
    return (y > 4.95f && y < 5.2f) || (y > 5.95f && y < 6.12f);
}

static bool insideWord(float x, float y)
{
    if (y < 0 || y >= LETTER_HEIGHT || insideCut(y))
        return false;
    x -= SLANT * (LETTER_HEIGHT - y); // undo the italic
    for (const Letter &letter : wordLetters()) {
        if (x < 0)
            return false;
        if (x < letter.width)
            return insideLetter(letter, x, y);
        x -= letter.width + LETTER_GAP;
    }
    return false;
}

Mask logoWordMask(float unit)
{
    const int sub = 4; // 4 x 4 samples per pixel
    Mask mask((int)std::ceil(wordWidthUnits() * unit), (int)std::ceil(LETTER_HEIGHT * unit));
    for (int y = 0; y < mask.height; y++) {
        for (int x = 0; x < mask.width; x++) {
            int hits = 0;
            for (int sy = 0; sy < sub; sy++)
                for (int sx = 0; sx < sub; sx++)
                    hits += insideWord(((float)x + (sx + 0.5f) / sub) / unit, ((float)y + (sy + 0.5f) / sub) / unit);
            mask.at(x, y) = (float)hits / (sub * sub);
        }
    }
    return mask;
}

// ---------------------------------------------------------------------------
// Placement shared by both pictures
// ---------------------------------------------------------------------------

static const float LOGO_UNIT = 5.0f; // pixels per design unit: the word is 289 x 35
static const int LOGO_CENTRE_Y = 78;

struct Placed {
    Mask mask;
    int x, y;
};

static Placed placedWord()
{
    Placed p{logoWordMask(LOGO_UNIT), 0, 0};
    p.x = (BAND_WIDTH - p.mask.width) / 2;
    p.y = LOGO_CENTRE_Y - p.mask.height / 2;
    return p;
}

// A copy of `mask` with a margin of `pad` pixels on every side, so that
// dilation and blur have room.
static Mask padded(const Mask &mask, int pad)
{
    Mask out(mask.width + 2 * pad, mask.height + 2 * pad);
    for (int y = 0; y < mask.height; y++)
        for (int x = 0; x < mask.width; x++)
            out.at(x + pad, y + pad) = mask.at(x, y);
    return out;
}

// The 80s chrome: sky blues above a hard horizon, sunset below.
static Color chrome(float t)
{
    static const Color sky[3] = {colorHex(0xF4FBFF), colorHex(0x86CFFF), colorHex(0x1E3C9A)};
    static const Color sunset[3] = {colorHex(0x52106A), colorHex(0xFF4F9E), colorHex(0xFFD36B)};
    const float horizon = 0.54f;
    if (t < horizon)
        return ramp(sky, 3, t / horizon);
    return ramp(sunset, 3, (t - horizon) / (1.0f - horizon));
}

// A four-pointed pixel-art glint centred at (x, y).
static void glint(Canvas &canvas, int x, int y, int arm, Color color)
{
    for (int d = -arm; d <= arm; d++) {
        float k = 1.0f - (float)std::abs(d) / (float)(arm + 1);
        for (auto [px, py] : {std::pair<int, int>{x + d, y}, std::pair<int, int>{x, y + d}}) {
            if (px < 0 || py < 0 || px >= canvas.width || py >= canvas.height)
                continue;
            Color &c = canvas.at(px, py);
            c = colorMix(c, color, k);
            c.a = std::max(c.a, k);
        }
    }
}

// ---------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------

Picture logoComposition()
{
    Canvas canvas(BAND_WIDTH, BAND_HEIGHT, Color{0, 0, 0, 0});
    Placed word = placedWord();
    const int pad = 14;
    Mask body = padded(word.mask, pad);
    Mask outline = dilateMask(body, 2);
    Mask glow = dilateMask(body, 3);
    blurMask(glow, 4, 3, false);
    int ox = word.x - pad, oy = word.y - pad;
    float top = (float)word.y, height = (float)word.mask.height;

    // Glow, cyan above and magenta below, kept translucent.
    for (float &g : glow.v)
        g = std::min(g * 1.3f, 1.0f) * 0.8f;
    paintMaskWith(canvas, glow, ox, oy, [&](int, int y) {
        return colorMix(colorHex(0x3FD8FF), colorHex(0xFF2BD6), std::clamp(((float)y - top) / height, 0.0f, 1.0f));
    });
    paintMask(canvas, outline, ox, oy, colorHex(0x0A0620));
    // Chrome fill with a bevel: light on edges facing up-left, dark on the others.
    paintMaskWith(canvas, body, ox, oy, [&](int x, int y) {
        Color c = chrome(((float)y + 0.5f - top) / height);
        int mx = x - ox, my = y - oy;
        float lit = body.get(mx, my) - body.get(mx - 1, my - 1);
        float shade = body.get(mx, my) - body.get(mx + 1, my + 1);
        if (lit > 0.3f)
            c = colorMix(c, colorHex(0xFFFFFF), 0.7f * lit);
        else if (shade > 0.3f)
            c = colorMix(c, colorHex(0x1A0830), 0.5f * shade);
        return c;
    });
    // Glints on the first and last letters' upper corners.
    glint(canvas, word.x + 3, word.y + 1, 6, colorHex(0xFFFFFF));
    glint(canvas, word.x + word.mask.width - 17, word.y + 1, 4, colorHex(0xFFF6C8));

    // The line beneath: small letters between two fading rules.
    const std::string caption = "a realtime software production";
    Mask text = padded(textMask(caption, 1, 1), 1);
    int tx = (BAND_WIDTH - text.width) / 2, ty = word.y + word.mask.height + 12;
    paintMask(canvas, dilateMask(text, 1), tx, ty, colorHex(0x0A0620));
    paintMaskWith(canvas, text, tx, ty, [&](int, int y) {
        return colorMix(colorHex(0xC8F4FF), colorHex(0x7FA8FF), ((float)y - ty) / (float)text.height);
    });
    for (int side = 0; side < 2; side++) {
        for (int i = 0; i < 44; i++) {
            int x = side == 0 ? tx - 6 - i : tx + text.width + 5 + i;
            Color c = colorMix(colorHex(0xFF4FD0), colorHex(0x3FD8FF), (float)i / 44.0f);
            c.a = 1.0f - (float)i / 44.0f;
            canvas.at(x, ty + 4) = c;
        }
    }
    return pictureFromCanvas(canvas, true);
}

Picture introPicture()
{
    Canvas canvas(BAND_WIDTH, BAND_HEIGHT);
    const int horizon = 132;
    const Color sky[4] = {colorHex(0x04020C), colorHex(0x0C0722), colorHex(0x1E0B36), colorHex(0x3A1046)};
    for (int y = 0; y < BAND_HEIGHT; y++) {
        for (int x = 0; x < BAND_WIDTH; x++) {
            float u = (float)x / BAND_WIDTH, v = (float)y / BAND_HEIGHT;
            Color c;
            if (y < horizon) {
                c = ramp(sky, 4, (float)y / horizon);
                // Faint nebula, densest in a diagonal drift across the sky.
                float n = fbmTiled(u * 0.5f, v * 0.5f, 4, 5, 91);
                float drift = std::exp(-std::pow((v - 0.35f - 0.3f * (u - 0.5f)) * 3.0f, 2.0f));
                float cloud = std::max(0.0f, n - 0.42f) * 1.6f * drift;
                c = colorAdd(c, colorScale(colorMix(colorHex(0x3A2A9A), colorHex(0xA0307A), n), cloud));
            } else {
                // Dark floor with a perspective grid running to the horizon's centre.
                float d = (float)(y - horizon) + 0.5f;
                float line = floorGridDistance((float)x + 0.5f, d, BAND_WIDTH / 2);
                c = colorHex(0x07030F);
                if (line < 0.8f)
                    c = colorMix(c, colorHex(0x8A2A9E), (1.0f - line / 0.8f) * std::min(1.0f, d / 30.0f) * 0.75f);
            }
            canvas.at(x, y) = c;
        }
    }
    // The horizon glows.
    for (int y = horizon - 14; y < horizon + 4; y++)
        for (int x = 0; x < BAND_WIDTH; x++) {
            float k = std::exp(-std::fabs((float)(y - horizon)) / 4.0f) * 0.45f;
            canvas.at(x, y) = colorAdd(canvas.at(x, y), colorScale(colorHex(0xFF3F8E), k));
        }
    // Still stars; the intro splats its own moving ones on top.
    Rng rng(92);
    for (int i = 0; i < 90; i++) {
        int x = rng.below(BAND_WIDTH), y = rng.below(horizon - 8);
        float b = rng.range(0.15f, 0.6f);
        Color star = colorMix(colorHex(0xBFD6FF), colorHex(0xFFE6C8), rng.unit());
        canvas.at(x, y) = colorAdd(canvas.at(x, y), colorScale(star, b));
        if (b > 0.5f && x > 0 && y > 0 && x < BAND_WIDTH - 1)
            for (auto [dx, dy] : {std::pair<int, int>{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
                canvas.at(x + dx, y + dy) = colorAdd(canvas.at(x + dx, y + dy), colorScale(star, b * 0.35f));
    }
    // The word, dim: a dark body with a thin cool rim, waiting for the composition.
    Placed word = placedWord();
    Mask rim = dilateMask(word.mask, 1);
    for (size_t i = 0; i < rim.v.size(); i++)
        rim.v[i] = std::max(0.0f, rim.v[i] - word.mask.v[i]);
    paintMask(canvas, word.mask, word.x, word.y, colorHex(0x150E38));
    paintMaskWith(canvas, rim, word.x, word.y, [&](int, int y) {
        return colorMix(colorHex(0x4FB8FF), colorHex(0xB04FD8), ((float)y - word.y) / word.mask.height);
    });
    return pictureFromCanvas(canvas, false);
}

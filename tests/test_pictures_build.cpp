// The builder's generated pictures: the names, sizes and formats the engine's
// loaders depend on, and the properties the effects rely on (tiling textures,
// neutral glitch frames, a transparent logo background, a list that names
// real pictures), read back from the written PNG files where the format matters.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "data/pngwrite.h"
#include "pictures.h"
#include "testutil.h"

namespace {

struct Decoded {
    bool ok = false;
    int width = 0, height = 0, colorType = -1, bitDepth = 0;
    std::vector<uint32_t> pixels; // 0xAARRGGBB, alpha 255 for RGB files
};

uint32_t bigEndian(const std::string &bytes, size_t at)
{
    return (uint32_t)(uint8_t)bytes[at] << 24 | (uint32_t)(uint8_t)bytes[at + 1] << 16 |
           (uint32_t)(uint8_t)bytes[at + 2] << 8 | (uint8_t)bytes[at + 3];
}

// The header straight from the file's first chunk (the colour type and depth
// the engine's loader will see), the pixels through libpng.
Decoded decodePng(const std::string &path)
{
    Decoded d;
    std::string bytes = readFile(path);
    if (bytes.size() < 33 || png_sig_cmp((png_const_bytep)bytes.data(), 0, 8) != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return d;
    d.width = (int)bigEndian(bytes, 16);
    d.height = (int)bigEndian(bytes, 20);
    d.bitDepth = (uint8_t)bytes[24];
    d.colorType = (uint8_t)bytes[25];
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return d;
    image.format = PNG_FORMAT_BGRA; // one little-endian 0xAARRGGBB word per pixel
    d.pixels.resize((size_t)image.width * image.height);
    if (!png_image_finish_read(&image, nullptr, d.pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return d;
    }
    d.ok = true;
    return d;
}

// The builder's writer: the same PNG writer into a directory tree.
PictureSink directorySink(const std::string &root, std::vector<std::string> *names)
{
    PictureSink sink;
    sink.picture = [root, names](const std::string &name, const Picture &p, std::string *error) {
        std::string path = root + "/" + name;
        makeDirs(path.substr(0, path.rfind('/')));
        names->push_back(name);
        if (!pngWriteFile(path.c_str(), p.pixels.data(), p.width, p.height, p.width, p.alpha ? 1 : 0)) {
            *error = "cannot write " + path;
            return false;
        }
        return true;
    };
    sink.text = [root, names](const std::string &name, const std::string &text, std::string *error) {
        names->push_back(name);
        if (!writeFile(root + "/" + name, text)) {
            *error = "cannot write " + name;
            return false;
        }
        return true;
    };
    return sink;
}

struct Collected {
    std::map<std::string, Picture> pictures;
    std::map<std::string, std::string> texts;
};

Collected generateInMemory()
{
    Collected c;
    PictureSink sink;
    sink.picture = [&c](const std::string &name, const Picture &p, std::string *) {
        return c.pictures.emplace(name, p).second; // a name given twice would overwrite a file
    };
    sink.text = [&c](const std::string &name, const std::string &text, std::string *) {
        return c.texts.emplace(name, text).second;
    };
    std::string error;
    EXPECT_TRUE(picturesGenerate(sink, &error)) << error;
    return c;
}

std::string numbered(const char *format, int n)
{
    char name[128];
    snprintf(name, sizeof name, format, n);
    return name;
}

int red(uint32_t p) { return (int)(p >> 16 & 255); }
int green(uint32_t p) { return (int)(p >> 8 & 255); }
int blue(uint32_t p) { return (int)(p & 255); }
int alpha(uint32_t p) { return (int)(p >> 24); }
float luma(uint32_t p) { return 0.299f * red(p) + 0.587f * green(p) + 0.114f * blue(p); }

int channelDiff(uint32_t a, uint32_t b)
{
    return std::abs(red(a) - red(b)) + std::abs(green(a) - green(b)) + std::abs(blue(a) - blue(b));
}

// One line of the image layer's list, read the way the layer reads it.
struct ListLine {
    int index;
    std::string path;
};

std::vector<ListLine> parseLayerList(const std::string &text, std::vector<std::string> *bad)
{
    std::vector<ListLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == ';')
            continue;
        size_t space = line.find(' ');
        int index = -1;
        if (sscanf(line.c_str(), "%d", &index) != 1 || space == std::string::npos || index < 0) {
            bad->push_back(line);
            continue;
        }
        std::string path = line.substr(space + 1);
        path = path.substr(0, path.find_first_of("\r\n"));
        lines.push_back({index, path});
    }
    return lines;
}

} // namespace

TEST(PicturesBuild, WritesEveryFileTheEngineLoadsWithItsSizeAndFormat)
{
    TempDir dir;
    std::vector<std::string> written;
    std::string error;
    ASSERT_TRUE(picturesGenerate(directorySink(dir.path(), &written), &error)) << error;
    Collected memory = generateInMemory();

    struct Expect {
        std::string name;
        int width, height; // 0: any, within the limits below
        int colorType;
    };
    std::vector<Expect> expected;
    for (int i = 1; i <= 3; i++)
        expected.push_back({numbered("textures/back_tunel/txt%d.png", i), 256, 256, PNG_COLOR_TYPE_RGB});
    for (int i = 1; i <= 7; i++)
        expected.push_back({numbered("textures/fish/txt%d.png", i), 256, 256, PNG_COLOR_TYPE_RGB});
    expected.push_back({"backgrounds/morla/logo_composition2.png", 320, 180, PNG_COLOR_TYPE_RGB_ALPHA});
    expected.push_back({"backgrounds/morla/morla_podlogo_10pc.png", 320, 180, PNG_COLOR_TYPE_RGB});
    for (int i = 1; i <= 17; i++)
        expected.push_back({numbered("backgrounds/morla/greets/greets%d.png", i), 0, 0, PNG_COLOR_TYPE_RGB});
    for (int i = 1; i <= 20; i++)
        expected.push_back({numbered("backgrounds/morla/greets/morla_glitch%02d.png", i), 0, 0, PNG_COLOR_TYPE_RGB});
    for (int i = 2; i <= 99; i++)
        expected.push_back({numbered("textures/glitch/output%05d.png", i), 160, 90, PNG_COLOR_TYPE_RGB});

    for (const Expect &e : expected) {
        SCOPED_TRACE(e.name);
        Decoded d = decodePng(dir / e.name);
        ASSERT_TRUE(d.ok) << "missing or unreadable";
        EXPECT_EQ(d.bitDepth, 8);
        EXPECT_EQ(d.colorType, e.colorType);
        if (e.width) {
            EXPECT_EQ(d.width, e.width);
            EXPECT_EQ(d.height, e.height);
        } else {
            // Greetings and tiles are centred in the 320 x 180 band.
            EXPECT_GE(d.width, 8);
            EXPECT_LE(d.width, 320);
            EXPECT_GE(d.height, 8);
            EXPECT_LE(d.height, 180);
        }
        // What was meant is what was stored.
        ASSERT_TRUE(memory.pictures.count(e.name));
        EXPECT_TRUE(d.pixels == memory.pictures[e.name].pixels) << "decoded pixels differ from the generated ones";
    }
    // Glitch frame number 1 is never loaded; nothing writes it.
    EXPECT_FALSE(decodePng(dir / "textures/glitch/output00001.png").ok);
    // No name is written twice (each would silently replace the other).
    std::set<std::string> unique(written.begin(), written.end());
    EXPECT_EQ(unique.size(), written.size());
}

TEST(PicturesBuild, TwoBuildsWriteIdenticalFiles)
{
    TempDir a, b;
    std::vector<std::string> namesA, namesB;
    std::string error;
    ASSERT_TRUE(picturesGenerate(directorySink(a.path(), &namesA), &error)) << error;
    ASSERT_TRUE(picturesGenerate(directorySink(b.path(), &namesB), &error)) << error;
    ASSERT_EQ(namesA, namesB);
    for (const std::string &name : namesA) {
        std::string bytes = readFile(a / name);
        EXPECT_FALSE(bytes.empty()) << name;
        EXPECT_EQ(hashBytes(bytes), hashBytes(readFile(b / name))) << name;
    }
}

TEST(PicturesBuild, TexturesWrapSeamlesslyAndHaveBoldContrast)
{
    std::vector<Picture> textures;
    for (int i = 1; i <= 3; i++)
        textures.push_back(tunnelTexture(i));
    for (int i = 1; i <= 7; i++)
        textures.push_back(fishTexture(i));
    std::set<std::vector<uint32_t>> distinct;
    for (size_t t = 0; t < textures.size(); t++) {
        SCOPED_TRACE("texture " + std::to_string(t));
        const Picture &p = textures[t];
        ASSERT_EQ(p.width, 256);
        ASSERT_EQ(p.height, 256);
        auto at = [&p](int x, int y) { return p.pixels[(size_t)y * 256 + x]; };
        // The wrap seam must look like a step the texture takes inside anyway:
        // no larger than its largest step between neighbouring columns (rows).
        // Motifs may put a border on the seam, as they do every period.
        double steepestX = 0, steepestY = 0, seamX = 0, seamY = 0;
        for (int k = 0; k < 256; k++) {
            double stepX = 0, stepY = 0;
            for (int i = 0; i < 256; i++) {
                stepX += channelDiff(at(k, i), at((k + 1) % 256, i));
                stepY += channelDiff(at(i, k), at(i, (k + 1) % 256));
            }
            if (k == 255) {
                seamX = stepX / 256;
                seamY = stepY / 256;
            } else {
                steepestX = std::max(steepestX, stepX / 256);
                steepestY = std::max(steepestY, stepY / 256);
            }
        }
        EXPECT_LE(seamX, steepestX + 4.0) << "left and right edges do not meet";
        EXPECT_LE(seamY, steepestY + 4.0) << "top and bottom edges do not meet";
        // Seen enlarged six times, a flat texture shows nothing of the motion.
        double sum = 0, squares = 0;
        for (uint32_t px : p.pixels) {
            sum += luma(px);
            squares += luma(px) * luma(px);
        }
        double mean = sum / p.pixels.size();
        EXPECT_GT(std::sqrt(squares / p.pixels.size() - mean * mean), 25.0);
        distinct.insert(p.pixels);
    }
    EXPECT_EQ(distinct.size(), textures.size());
}

TEST(PicturesBuild, NoiseRepeatsWithPeriodOneInBothDirections)
{
    // Sampled where a texture's last pixel meets its first.
    for (float v : {0.0f, 0.13f, 0.5f, 0.97f}) {
        for (float u : {0.001f, 0.25f, 0.6f}) {
            SCOPED_TRACE("u " + std::to_string(u) + " v " + std::to_string(v));
            for (int cells : {3, 4, 7}) {
                EXPECT_NEAR(noiseTiled(u, v, cells, 5), noiseTiled(u + 1, v, cells, 5), 1e-4);
                EXPECT_NEAR(noiseTiled(u, v, cells, 5), noiseTiled(u, v - 1, cells, 5), 1e-4);
                EXPECT_NEAR(fbmTiled(u, v, cells, 4, 9), fbmTiled(u - 1, v + 1, cells, 4, 9), 1e-4);
                Cells a = cellsTiled(u, v, cells, 3), b = cellsTiled(u + 1, v - 1, cells, 3);
                EXPECT_NEAR(a.f1, b.f1, 1e-3);
                EXPECT_NEAR(a.f2, b.f2, 1e-3);
                EXPECT_EQ(a.id, b.id);
            }
        }
    }
    // And is not a constant.
    EXPECT_NE(noiseTiled(0.1f, 0.1f, 4, 5), noiseTiled(0.6f, 0.3f, 4, 5));
}

TEST(PicturesBuild, GlitchFramesAreMostlyNeutralAndAnimate)
{
    const int blocks = GLITCH_WIDTH * GLITCH_HEIGHT;
    double neutralTotal = 0;
    bool left = false, right = false, vertical = false;
    std::vector<uint32_t> previous;
    for (int n = 2; n <= 99; n++) {
        SCOPED_TRACE("frame " + std::to_string(n));
        Picture frame = glitchFrame(n);
        // The pass indexes rows at a stride of 160: any other width shears the blocks.
        ASSERT_EQ(frame.width, GLITCH_WIDTH);
        ASSERT_EQ(frame.height, GLITCH_HEIGHT);
        int neutral = 0;
        for (uint32_t p : frame.pixels) {
            neutral += red(p) == 127 && green(p) == 127;
            left |= red(p) < 100;
            right |= red(p) > 154;
            vertical |= green(p) != 127;
        }
        EXPECT_GE(neutral, blocks / 2) << "more than half the picture displaced";
        EXPECT_LT(neutral, blocks) << "nothing moves in this frame";
        neutralTotal += neutral;
        if (!previous.empty()) {
            EXPECT_NE(frame.pixels, previous) << "the glitch stands still";
        }
        previous = frame.pixels;
    }
    EXPECT_GE(neutralTotal / (98.0 * blocks), 0.8) << "glitching most of the time instead of in bursts";
    EXPECT_TRUE(left && right) << "shards move only one way";
    EXPECT_TRUE(vertical) << "no shard ever moves up or down";
}

TEST(PicturesBuild, LogoStandsOnTransparencyAndTheIntroPictureIsOpaque)
{
    Picture logo = logoComposition();
    ASSERT_EQ(logo.width, 320);
    ASSERT_EQ(logo.height, 180);
    EXPECT_TRUE(logo.alpha);
    // The corners and the top and bottom rows leave the frame alone.
    for (int x = 0; x < 320; x++) {
        EXPECT_EQ(alpha(logo.pixels[x]), 0) << "top row, column " << x;
        EXPECT_EQ(alpha(logo.pixels[179 * 320 + x]), 0) << "bottom row, column " << x;
    }
    int opaque = 0;
    double centre = 0;
    for (int y = 0; y < 180; y++)
        for (int x = 0; x < 320; x++)
            if (alpha(logo.pixels[(size_t)y * 320 + x]) == 255) {
                opaque++;
                centre += x;
            }
    EXPECT_GT(opaque, 320 * 180 / 20) << "the word is missing or tiny";
    EXPECT_LT(opaque, 320 * 180 / 2) << "the logo covers the intro";
    EXPECT_NEAR(centre / std::max(opaque, 1), 160.0, 16.0) << "the word is not centred";

    Picture intro = introPicture();
    ASSERT_EQ(intro.width, 320);
    ASSERT_EQ(intro.height, 180);
    EXPECT_FALSE(intro.alpha);
    // Stars and curves are drawn on it: it has to stay dark.
    double sum = 0;
    for (uint32_t p : intro.pixels) {
        EXPECT_EQ(alpha(p), 255);
        sum += luma(p);
    }
    EXPECT_LT(sum / intro.pixels.size(), 70.0);
}

TEST(PicturesBuild, GreetingsAreLightOnBlackAndTilesFitSideBySide)
{
    std::set<std::vector<uint32_t>> greetings;
    for (int i = 1; i <= 17; i++) {
        SCOPED_TRACE("greeting " + std::to_string(i));
        Picture g = greetingPicture(i);
        // Added to the frame: the background must add nothing.
        for (uint32_t corner : {g.pixels.front(), g.pixels[(size_t)g.width - 1], g.pixels.back()})
            EXPECT_EQ(corner & 0xFFFFFF, 0u);
        int bright = 0;
        for (uint32_t p : g.pixels)
            bright += std::max({red(p), green(p), blue(p)}) >= 200;
        EXPECT_GT(bright, 500) << "no readable text";
        greetings.insert(g.pixels);
    }
    EXPECT_EQ(greetings.size(), 17u);

    std::set<std::vector<uint32_t>> tiles;
    for (int i = 1; i <= 20; i++) {
        SCOPED_TRACE("tile " + std::to_string(i));
        Picture t = glitchTile(i);
        // Centred 80 pixels apart: wider tiles would cover their neighbours.
        EXPECT_LE(t.width, 80);
        EXPECT_LE(t.height, 180);
        EXPECT_NE(std::count(t.pixels.begin(), t.pixels.end(), t.pixels[0]), (long)t.pixels.size()) << "flat tile";
        tiles.insert(t.pixels);
    }
    EXPECT_EQ(tiles.size(), 20u);
}

TEST(PicturesBuild, LayerListNamesEveryLayerPictureAndNothingElse)
{
    Collected c = generateInMemory();
    ASSERT_TRUE(c.texts.count("backgrounds/morla/list.txt"));
    std::vector<std::string> bad;
    std::vector<ListLine> lines = parseLayerList(c.texts["backgrounds/morla/list.txt"], &bad);
    EXPECT_TRUE(bad.empty()) << "a line the layer rejects: " << (bad.empty() ? "" : bad.front());
    ASSERT_FALSE(lines.empty());
    std::set<int> indices;
    std::set<std::string> listed;
    for (const ListLine &line : lines) {
        SCOPED_TRACE(line.path);
        EXPECT_TRUE(indices.insert(line.index).second) << "index " << line.index << " given twice";
        EXPECT_LE(line.index, 64) << "beyond backimage_texture_idx's range";
        EXPECT_LE(line.path.size() + 4, 255u) << "longer than a list line may be";
        ASSERT_TRUE(c.pictures.count(line.path)) << "names no generated picture";
        const Picture &p = c.pictures[line.path];
        // The band is 320 x 180; narrower or shorter pictures leave old frame content showing.
        EXPECT_EQ(p.height, 180);
        EXPECT_GE(p.width, 320);
        listed.insert(line.path);
    }
    for (int i = 0; i < layerPictureCount(); i++)
        EXPECT_TRUE(listed.count(layerPictureName(i))) << layerPictureName(i) << " generated but not listed";
}

// ---------------------------------------------------------------------------
// The painting kit behind them
// ---------------------------------------------------------------------------

TEST(PicturesPaint, TextUsesTheConsoleFontUnmirroredAndScaled)
{
    // "L": the left column on rows 0 to 6, the whole bottom row 6; at scale 2
    // each font pixel is 2 x 2.
    Mask l = textMask("L", 2, 0);
    ASSERT_EQ(l.width, 10);
    ASSERT_EQ(l.height, 16);
    EXPECT_EQ(l.at(0, 0), 1.0f);
    EXPECT_EQ(l.at(1, 1), 1.0f);
    EXPECT_EQ(l.at(9, 0), 0.0f) << "glyph mirrored";
    EXPECT_EQ(l.at(9, 12), 1.0f);
    EXPECT_EQ(l.at(9, 14), 0.0f) << "the descender row is empty for capitals";

    // Glyphs advance by width plus gap; unknown characters leave a blank.
    Mask two = textMask("L\x01L", 1, 3);
    EXPECT_EQ(two.width, textWidth("L\x01L", 1, 3));
    EXPECT_EQ(two.width, 3 * 5 + 2 * 3);
    for (int y = 0; y < two.height; y++)
        for (int x = 8; x < 13; x++)
            EXPECT_EQ(two.at(x, y), 0.0f) << x << "," << y;
    EXPECT_EQ(two.at(16, 0), 1.0f) << "the third glyph starts at 2 * (5 + 3)";
    EXPECT_EQ(textWidth("", 3, 3), 0);
}

TEST(PicturesPaint, BlurKeepsTheTotalAndWrapsOnlyWhenAsked)
{
    for (bool wrap : {true, false}) {
        SCOPED_TRACE(wrap ? "wrapping" : "clamped");
        Mask m(32, 16);
        m.at(0, 8) = 1.0f;
        blurMask(m, 2, 3, wrap);
        float left = m.at(0, 8), right = m.at(31, 8), total = 0;
        for (float v : m.v)
            total += v;
        if (wrap) {
            EXPECT_NEAR(total, 1.0f, 1e-4) << "a wrapping blur moves light, it does not make or lose it";
            EXPECT_GT(right, 0.0f) << "the dot at the left edge did not reach the right edge";
            EXPECT_NEAR(m.at(1, 8), right, 1e-6) << "not symmetric across the seam";
        } else {
            EXPECT_EQ(right, 0.0f) << "a clamped blur wrapped around";
        }
        EXPECT_GT(left, 0.0f);
        EXPECT_LT(left, 1.0f);
    }
}

TEST(PicturesPaint, PaintingOnTransparencyKeepsTheColourAndGivesCoverageAsAlpha)
{
    // The logo's glow fades out through alpha; premultiplying would darken it
    // into a grey rim around the word instead.
    Canvas canvas(2, 1, Color{0, 0, 0, 0});
    Mask mask(2, 1);
    mask.at(0, 0) = 0.25f;
    mask.at(1, 0) = 1.0f;
    paintMask(canvas, mask, 0, 0, colorHex(0xFF8000));
    Picture p = pictureFromCanvas(canvas, true);
    EXPECT_EQ(p.pixels[0], 0x40FF8000u);
    EXPECT_EQ(p.pixels[1], 0xFFFF8000u);

    // Over an opaque colour the result stays opaque and mixes by coverage.
    Canvas opaque(1, 1, colorHex(0x000000));
    Mask half(1, 1, 0.5f);
    paintMask(opaque, half, 0, 0, colorHex(0xFFFFFF));
    EXPECT_EQ(pictureFromCanvas(opaque, true).pixels[0], 0xFF808080u);

    // Fully transparent pixels are stored as 0; opaque pictures get alpha 255.
    Canvas clear(1, 1, Color{1, 1, 1, 0});
    EXPECT_EQ(pictureFromCanvas(clear, true).pixels[0], 0u);
    EXPECT_EQ(pictureFromCanvas(clear, false).pixels[0], 0xFFFFFFFFu);
}

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

struct Collected {
    std::map<std::string, Picture> pictures;
    std::map<std::string, std::string> texts;
    std::vector<std::string> names; // in the order given, repeats kept
};

// Runs the generator, keeping what it gives in memory and, with a root,
// writing the pictures there with the builder's PNG writer.
Collected generate(const std::string &root = "")
{
    Collected c;
    PictureSink sink;
    sink.picture = [&](const std::string &name, const Picture &p, std::string *) {
        c.names.push_back(name);
        std::string path = root + "/" + name;
        return c.pictures.emplace(name, p).second &&
               (root.empty() || (makeDirs(path.substr(0, path.rfind('/'))) &&
                                 pngWriteFile(path.c_str(), p.pixels.data(), p.width, p.height, p.width, p.alpha)));
    };
    sink.text = [&](const std::string &name, const std::string &text, std::string *) {
        c.names.push_back(name);
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

} // namespace

TEST(PicturesBuild, WritesEveryFileTheEngineLoadsWithItsSizeAndFormatIdenticallyTwice)
{
    TempDir dir, again;
    Collected memory = generate(dir.path()), second = generate(again.path());
    ASSERT_EQ(memory.names, second.names);
    for (const auto &[name, picture] : memory.pictures)
        EXPECT_EQ(hashBytes(readFile(dir / name)), hashBytes(readFile(again / name))) << name;
    EXPECT_EQ(memory.texts, second.texts);
    // No name is given twice (each would silently replace the other).
    EXPECT_EQ(std::set<std::string>(memory.names.begin(), memory.names.end()).size(), memory.names.size());
    struct Expect {
        std::string name;
        int width, height; // 0: any, within the 320 x 180 band
        int colorType;
    };
    std::vector<Expect> expected = {{"backgrounds/morla/logo_composition2.png", 320, 180, PNG_COLOR_TYPE_RGB_ALPHA},
                                    {"backgrounds/morla/morla_podlogo_10pc.png", 320, 180, PNG_COLOR_TYPE_RGB}};
    for (int i = 1; i <= 7; i++) {
        if (i <= 3)
            expected.push_back({numbered("textures/back_tunel/txt%d.png", i), 256, 256, PNG_COLOR_TYPE_RGB});
        expected.push_back({numbered("textures/fish/txt%d.png", i), 256, 256, PNG_COLOR_TYPE_RGB});
    }
    for (int i = 1; i <= 20; i++) {
        if (i <= 17)
            expected.push_back({numbered("backgrounds/morla/greets/greets%d.png", i), 0, 0, PNG_COLOR_TYPE_RGB});
        expected.push_back({numbered("backgrounds/morla/greets/morla_glitch%02d.png", i), 0, 0, PNG_COLOR_TYPE_RGB});
    }
    for (int i = 2; i <= 99; i++)
        expected.push_back({numbered("textures/glitch/output%05d.png", i), 160, 90, PNG_COLOR_TYPE_RGB});
    for (const Expect &e : expected) {
        SCOPED_TRACE(e.name);
        std::string bytes = readFile(dir / e.name);
        ASSERT_GE(bytes.size(), 33u) << "missing";
        // The header as the engine's loader sees it: 8 bits, the colour type, the size.
        EXPECT_EQ(bytes[24], 8);
        EXPECT_EQ(bytes[25], e.colorType);
        int width = (int)be32(bytes, 16), height = (int)be32(bytes, 20);
        EXPECT_TRUE(e.width ? width == e.width && height == e.height
                            : width >= 8 && width <= 320 && height >= 8 && height <= 180)
            << width << " x " << height;
        // What was meant is what was stored.
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
        image.format = PNG_FORMAT_BGRA; // one little-endian 0xAARRGGBB word per pixel
        std::vector<uint32_t> pixels((size_t)image.width * image.height);
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
        EXPECT_TRUE(pixels == memory.pictures[e.name].pixels) << "decoded pixels differ from the generated ones";
    }
    // Glitch frame number 1 is never loaded; nothing writes it.
    EXPECT_FALSE(memory.pictures.count("textures/glitch/output00001.png"));
}

TEST(PicturesBuild, TexturesWrapSeamlesslyAndHaveBoldContrast)
{
    std::set<std::vector<uint32_t>> distinct;
    for (int t = 1; t <= 10; t++) {
        SCOPED_TRACE("texture " + std::to_string(t));
        const Picture p = t <= 3 ? tunnelTexture(t) : fishTexture(t - 3);
        ASSERT_TRUE(p.width == 256 && p.height == 256);
        auto at = [&p](int x, int y) { return p.pixels[(size_t)(y & 255) * 256 + (x & 255)]; };
        auto diff = [](uint32_t a, uint32_t b) {
            return std::abs(red(a) - red(b)) + std::abs(green(a) - green(b)) + std::abs(blue(a) - blue(b));
        };
        // The wrap seam must look like a step the texture takes inside anyway:
        // no larger than its largest step between neighbouring columns (rows).
        // Motifs may put a border on the seam, as they do every period.
        double steepestX = 0, steepestY = 0, seamX = 0, seamY = 0;
        for (int k = 0; k < 256; k++) {
            double stepX = 0, stepY = 0;
            for (int i = 0; i < 256; i++)
                stepX += diff(at(k, i), at(k + 1, i)) / 256.0, stepY += diff(at(i, k), at(i, k + 1)) / 256.0;
            if (k == 255)
                seamX = stepX, seamY = stepY;
            else
                steepestX = std::max(steepestX, stepX), steepestY = std::max(steepestY, stepY);
        }
        EXPECT_LE(seamX, steepestX + 4.0) << "left and right edges do not meet";
        EXPECT_LE(seamY, steepestY + 4.0) << "top and bottom edges do not meet";
        // Seen enlarged six times, a flat texture shows nothing of the motion.
        double sum = 0, squares = 0;
        for (uint32_t px : p.pixels)
            sum += luma(px), squares += luma(px) * luma(px);
        double mean = sum / p.pixels.size();
        EXPECT_GT(std::sqrt(squares / p.pixels.size() - mean * mean), 25.0);
        distinct.insert(p.pixels);
    }
    EXPECT_EQ(distinct.size(), 10u);
    // The noise behind them repeats with period one in both directions, and is no constant.
    for (float u : {0.001f, 0.6f}) {
        for (int cells : {3, 7}) {
            EXPECT_NEAR(noiseTiled(u, 0.13f, cells, 5), noiseTiled(u + 1, 0.13f - 1, cells, 5), 1e-4);
            EXPECT_NEAR(fbmTiled(u, 0.97f, cells, 4, 9), fbmTiled(u - 1, 0.97f + 1, cells, 4, 9), 1e-4);
            Cells a = cellsTiled(u, 0.5f, cells, 3), b = cellsTiled(u + 1, 0.5f - 1, cells, 3);
            EXPECT_TRUE(std::fabs(a.f1 - b.f1) < 1e-3 && std::fabs(a.f2 - b.f2) < 1e-3 && a.id == b.id);
        }
    }
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
        ASSERT_TRUE(frame.width == GLITCH_WIDTH && frame.height == GLITCH_HEIGHT);
        int neutral = 0;
        for (uint32_t p : frame.pixels) {
            neutral += red(p) == 127 && green(p) == 127;
            left |= red(p) < 100, right |= red(p) > 154, vertical |= green(p) != 127;
        }
        EXPECT_GE(neutral, blocks / 2) << "more than half the picture displaced";
        EXPECT_LT(neutral, blocks) << "nothing moves in this frame";
        EXPECT_NE(frame.pixels, previous) << "the glitch stands still";
        neutralTotal += neutral;
        previous = frame.pixels;
    }
    EXPECT_GE(neutralTotal / (98.0 * blocks), 0.8) << "glitching most of the time instead of in bursts";
    EXPECT_TRUE(left && right && vertical) << "shards never move one of the ways";
}

TEST(PicturesBuild, LogoStandsOnTransparencyAndTheIntroPictureIsOpaqueAndDark)
{
    Picture logo = logoComposition(), intro = introPicture();
    ASSERT_TRUE(logo.width == 320 && logo.height == 180 && logo.alpha);
    int opaque = 0;
    double centre = 0;
    for (int i = 0; i < 320 * 180; i++) {
        // The top and bottom rows leave the frame alone.
        EXPECT_TRUE(alpha(logo.pixels[i]) == 0 || (i >= 320 && i < 179 * 320)) << i;
        opaque += alpha(logo.pixels[i]) == 255;
        centre += alpha(logo.pixels[i]) == 255 ? i % 320 : 0;
    }
    EXPECT_GT(opaque, 320 * 180 / 20) << "the word is missing or tiny";
    EXPECT_LT(opaque, 320 * 180 / 2) << "the logo covers the intro";
    EXPECT_NEAR(centre / std::max(opaque, 1), 160.0, 16.0) << "the word is not centred";
    ASSERT_TRUE(intro.width == 320 && intro.height == 180 && !intro.alpha);
    // Stars and curves are drawn on it: it has to stay dark.
    double sum = 0;
    for (uint32_t p : intro.pixels)
        sum += luma(p);
    EXPECT_LT(sum / intro.pixels.size(), 70.0);
    EXPECT_EQ(std::count_if(intro.pixels.begin(), intro.pixels.end(), [](uint32_t p) { return alpha(p) != 255; }), 0);
}

TEST(PicturesBuild, GreetingsAreLightOnBlackAndTilesFitSideBySide)
{
    std::set<std::vector<uint32_t>> distinct;
    for (int i = 1; i <= 17; i++) {
        Picture g = greetingPicture(i);
        // Added to the frame: the background must add nothing.
        for (uint32_t corner : {g.pixels.front(), g.pixels[(size_t)g.width - 1], g.pixels.back()})
            EXPECT_EQ(corner & 0xFFFFFF, 0u) << "greeting " << i;
        auto bright = [](uint32_t p) { return std::max({red(p), green(p), blue(p)}) >= 200; };
        EXPECT_GT(std::count_if(g.pixels.begin(), g.pixels.end(), bright), 500) << "no readable text in greeting " << i;
        distinct.insert(g.pixels);
    }
    for (int i = 1; i <= 20; i++) {
        Picture t = glitchTile(i);
        // Centred 80 pixels apart: wider tiles would cover their neighbours.
        EXPECT_TRUE(t.width <= 80 && t.height <= 180) << "tile " << i;
        EXPECT_NE(std::count(t.pixels.begin(), t.pixels.end(), t.pixels[0]), (long)t.pixels.size()) << "flat tile " << i;
        distinct.insert(t.pixels);
    }
    EXPECT_EQ(distinct.size(), 37u);
}

TEST(PicturesBuild, LayerListNamesEveryLayerPictureAndNothingElse)
{
    Collected c = generate();
    ASSERT_TRUE(c.texts.count("backgrounds/morla/list.txt"));
    std::istringstream in(c.texts["backgrounds/morla/list.txt"]);
    std::set<int> indices;
    std::set<std::string> listed;
    // Read the way the layer reads it: comments start with ';', the rest is
    // an index, a space and the picture's name.
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == ';')
            continue;
        SCOPED_TRACE(line);
        int index = -1;
        size_t space = line.find(' ');
        ASSERT_TRUE(sscanf(line.c_str(), "%d", &index) == 1 && space != std::string::npos && index >= 0);
        std::string path = line.substr(space + 1, line.find_first_of("\r\n") - space - 1);
        EXPECT_TRUE(indices.insert(index).second) << "index given twice";
        EXPECT_LE(index, 64) << "beyond backimage_texture_idx's range";
        EXPECT_LE(line.size(), 255u) << "longer than a list line may be";
        ASSERT_TRUE(c.pictures.count(path)) << "names no generated picture";
        // The band is 320 x 180; narrower or shorter pictures leave old frame content showing.
        EXPECT_TRUE(c.pictures[path].height == 180 && c.pictures[path].width >= 320);
        listed.insert(path);
    }
    ASSERT_FALSE(listed.empty());
    for (int i = 0; i < layerPictureCount(); i++)
        EXPECT_TRUE(listed.count(layerPictureName(i))) << layerPictureName(i) << " generated but not listed";
}

TEST(PicturesPaint, TextUsesTheConsoleFontUnmirroredAndScaled)
{
    // "L": the left column on rows 0 to 6, the whole bottom row 6; at scale 2
    // each font pixel is 2 x 2.
    Mask l = textMask("L", 2, 0);
    ASSERT_TRUE(l.width == 10 && l.height == 16);
    EXPECT_TRUE(l.at(0, 0) == 1.0f && l.at(1, 1) == 1.0f && l.at(9, 12) == 1.0f);
    EXPECT_EQ(l.at(9, 0), 0.0f) << "glyph mirrored";
    EXPECT_EQ(l.at(9, 14), 0.0f) << "the descender row is empty for capitals";
    // Glyphs advance by width plus gap; unknown characters leave a blank.
    Mask two = textMask("L\x01L", 1, 3);
    EXPECT_EQ(two.width, 3 * 5 + 2 * 3);
    EXPECT_EQ(textWidth("L\x01L", 1, 3), two.width);
    for (int y = 0; y < two.height; y++)
        for (int x = 8; x < 13; x++)
            EXPECT_EQ(two.at(x, y), 0.0f) << x << "," << y;
    EXPECT_EQ(two.at(16, 0), 1.0f) << "the third glyph starts at 2 * (5 + 3)";
}

TEST(PicturesPaint, BlurKeepsTheTotalAndWrapsOnlyWhenAsked)
{
    for (bool wrap : {true, false}) {
        Mask m(32, 16);
        m.at(0, 8) = 1.0f;
        blurMask(m, 2, 3, wrap);
        float total = 0;
        for (float v : m.v)
            total += v;
        EXPECT_TRUE(m.at(0, 8) > 0.0f && m.at(0, 8) < 1.0f) << wrap;
        if (wrap) {
            EXPECT_NEAR(total, 1.0f, 1e-4) << "a wrapping blur moves light, it does not make or lose it";
            EXPECT_GT(m.at(31, 8), 0.0f) << "the dot at the left edge did not reach the right edge";
            EXPECT_NEAR(m.at(1, 8), m.at(31, 8), 1e-6) << "not symmetric across the seam";
        } else {
            EXPECT_EQ(m.at(31, 8), 0.0f) << "a clamped blur wrapped around";
        }
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
    EXPECT_EQ(pictureFromCanvas(canvas, true).pixels, (std::vector<uint32_t>{0x40FF8000u, 0xFFFF8000u}));
    // Over an opaque colour the result stays opaque and mixes by coverage.
    Canvas opaque(1, 1, colorHex(0x000000));
    paintMask(opaque, Mask(1, 1, 0.5f), 0, 0, colorHex(0xFFFFFF));
    EXPECT_EQ(pictureFromCanvas(opaque, true).pixels[0], 0xFF808080u);
    // Fully transparent pixels are stored as 0; opaque pictures get alpha 255.
    Canvas clear(1, 1, Color{1, 1, 1, 0});
    EXPECT_EQ(pictureFromCanvas(clear, true).pixels[0], 0u);
    EXPECT_EQ(pictureFromCanvas(clear, false).pixels[0], 0xFFFFFFFFu);
}

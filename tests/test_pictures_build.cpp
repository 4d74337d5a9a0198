// The builder's generated pictures: the names, sizes and formats the engine's
// loaders depend on, and the properties the effects rely on (tiling textures,
// neutral glitch frames, a transparent logo background, a list that names
// real pictures), read back from the written PNG files where the format matters.
#include <gtest/gtest.h>

#include <png.h>

#include <cmath>
#include <map>
#include <numeric>
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
        return c.names.push_back(name), c.texts.emplace(name, text).second;
    };
    std::string error;
    EXPECT_TRUE(picturesGenerate(sink, &error)) << error;
    return c;
}

int red(uint32_t p) { return (int)(p >> 16 & 255); }
int green(uint32_t p) { return (int)(p >> 8 & 255); }
int blue(uint32_t p) { return (int)(p & 255); }
int alpha(uint32_t p) { return (int)(p >> 24); }
float luma(uint32_t p) { return 0.299f * red(p) + 0.587f * green(p) + 0.114f * blue(p); }

} // namespace

TEST(PicturesBuild, WritesEveryPictureInItsFormatIdenticallyTwiceAndListsTheLayerPictures)
{
    TempDir dir, again;
    Collected memory = generate(dir.path()), second = generate(again.path());
    ASSERT_TRUE(memory.names == second.names && memory.texts == second.texts);
    // No name is given twice (each would silently replace the other).
    EXPECT_EQ(std::set<std::string>(memory.names.begin(), memory.names.end()).size(), memory.names.size());
    // The names and sizes the engine loads are checked in the production's tree.
    EXPECT_FALSE(memory.pictures.count("textures/glitch/output00001.png")) << "glitch frame 1 is never loaded";
    for (const auto &[name, picture] : memory.pictures) {
        SCOPED_TRACE(name);
        std::string bytes = readFile(dir / name);
        ASSERT_TRUE(bytes.size() >= 33u && bytes == readFile(again / name));
        // The header as the engine's loader sees it: 8 bits, the colour type, the size.
        EXPECT_TRUE(bytes[24] == 8 && bytes[25] == (picture.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB) &&
                    (int)be32(bytes, 16) == picture.width && (int)be32(bytes, 20) == picture.height);
        // What was meant is what was stored.
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
        image.format = PNG_FORMAT_BGRA; // one little-endian 0xAARRGGBB word per pixel
        std::vector<uint32_t> pixels((size_t)image.width * image.height);
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
        EXPECT_TRUE(pixels == picture.pixels) << "decoded pixels differ from the generated ones";
    }
    // The image layer's list, read the way the layer reads it: comments start
    // with ';', the rest is an index, a space and the picture's name.
    std::istringstream in(memory.texts["backgrounds/morla/list.txt"]);
    std::set<int> indices;
    std::set<std::string> listed;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == ';')
            continue;
        int index = -1;
        size_t space = line.find(' ');
        ASSERT_TRUE(sscanf(line.c_str(), "%d", &index) == 1 && space != std::string::npos && index >= 0) << line;
        std::string path = line.substr(space + 1, line.find_first_of("\r\n") - space - 1);
        // Once each, within backimage_texture_idx's range, no longer than a list line may be.
        EXPECT_TRUE(indices.insert(index).second && index <= 64 && line.size() <= 255u) << line;
        ASSERT_TRUE(memory.pictures.count(path)) << line << " names no generated picture";
        // The band is 320 x 180; narrower or shorter pictures leave old frame content showing.
        EXPECT_TRUE(memory.pictures[path].height == 180 && memory.pictures[path].width >= 320) << line;
        listed.insert(path);
    }
    ASSERT_FALSE(listed.empty());
    for (int i = 0; i < layerPictureCount(); i++)
        EXPECT_TRUE(listed.count(layerPictureName(i))) << layerPictureName(i) << " generated but not listed";
}

TEST(PicturesBuild, TexturesWrapSeamlesslyAndHaveBoldContrast)
{
    std::set<std::vector<uint32_t>> distinct;
    for (int t = 1; t <= 10; t++) {
        const Picture p = t <= 3 ? tunnelTexture(t) : fishTexture(t - 3);
        ASSERT_TRUE(p.width == 256 && p.height == 256) << t;
        auto at = [&p](int x, int y) { return p.pixels[(size_t)(y & 255) * 256 + (x & 255)]; };
        auto diff = [](uint32_t a, uint32_t b) {
            return std::abs(red(a) - red(b)) + std::abs(green(a) - green(b)) + std::abs(blue(a) - blue(b));
        };
        // The wrap seam must look like a step the texture takes inside anyway:
        // no larger than its largest step between neighbouring columns (rows).
        // Motifs may put a border on the seam, as they do every period.
        double steepest[2] = {0, 0}, seam[2] = {0, 0};
        for (int k = 0; k < 256; k++) {
            double step[2] = {0, 0};
            for (int i = 0; i < 256; i++)
                step[0] += diff(at(k, i), at(k + 1, i)) / 256.0, step[1] += diff(at(i, k), at(i, k + 1)) / 256.0;
            for (int d = 0; d < 2; d++)
                k == 255 ? (seam[d] = step[d]) : (steepest[d] = std::max(steepest[d], step[d]));
        }
        EXPECT_TRUE(seam[0] <= steepest[0] + 4.0 && seam[1] <= steepest[1] + 4.0) << "the edges of " << t << " do not meet";
        // Seen enlarged six times, a flat texture shows nothing of the motion.
        double sum = 0, squares = 0;
        for (uint32_t px : p.pixels)
            sum += luma(px), squares += luma(px) * luma(px);
        EXPECT_GT(std::sqrt(squares / p.pixels.size() - sum * sum / p.pixels.size() / p.pixels.size()), 25.0) << t;
        distinct.insert(p.pixels);
    }
    EXPECT_EQ(distinct.size(), 10u);
}

TEST(PicturesBuild, GlitchFramesAreMostlyNeutralAndAnimate)
{
    const int blocks = GLITCH_WIDTH * GLITCH_HEIGHT;
    double neutralTotal = 0;
    bool left = false, right = false, vertical = false;
    std::vector<uint32_t> previous;
    for (int n = 2; n <= 99; n++) {
        Picture frame = glitchFrame(n);
        // The pass indexes rows at a stride of 160: any other width shears the blocks.
        ASSERT_TRUE(frame.width == GLITCH_WIDTH && frame.height == GLITCH_HEIGHT) << n;
        int neutral = 0;
        for (uint32_t p : frame.pixels)
            neutral += red(p) == 127 && green(p) == 127, left |= red(p) < 100, right |= red(p) > 154, vertical |= green(p) != 127;
        // Never more than half the picture displaced, never all still, never the same twice in a row.
        EXPECT_TRUE(neutral >= blocks / 2 && neutral < blocks && frame.pixels != previous) << "frame " << n;
        neutralTotal += neutral;
        previous = frame.pixels;
    }
    // Glitching most of the time instead of in bursts would be wrong; so would shards that never move one of the ways.
    EXPECT_TRUE(neutralTotal / (98.0 * blocks) >= 0.8 && left && right && vertical);
}

TEST(PicturesBuild, LogoOnTransparencyDarkIntroLightGreetingsAndTilesThatFitSideBySide)
{
    Picture logo = logoComposition(), intro = introPicture();
    ASSERT_TRUE(logo.width == 320 && logo.height == 180 && logo.alpha && intro.width == 320 && intro.height == 180 && !intro.alpha);
    int opaque = 0;
    double centre = 0, dark = 0;
    for (int i = 0; i < 320 * 180; i++) {
        // The logo's top and bottom rows leave the frame alone; the intro is opaque.
        ASSERT_TRUE((alpha(logo.pixels[i]) == 0 || (i >= 320 && i < 179 * 320)) && alpha(intro.pixels[i]) == 255) << i;
        opaque += alpha(logo.pixels[i]) == 255, centre += alpha(logo.pixels[i]) == 255 ? i % 320 : 0;
        dark += luma(intro.pixels[i]) / (320 * 180);
    }
    EXPECT_TRUE(opaque > 320 * 180 / 20 && opaque < 320 * 180 / 2 && std::fabs(centre / std::max(opaque, 1) - 160.0) <= 16.0)
        << "the word is missing, tiny, off centre or covers the intro";
    EXPECT_LT(dark, 70.0) << "stars and curves are drawn on the intro: it has to stay dark";
    std::set<std::vector<uint32_t>> distinct;
    for (int i = 1; i <= 20; i++) {
        // 17 greetings, added to the frame: the background must add nothing; 20 tiles.
        Picture g = greetingPicture(std::min(i, 17)), t = glitchTile(i);
        for (uint32_t corner : {g.pixels.front(), g.pixels[(size_t)g.width - 1], g.pixels.back()})
            EXPECT_EQ(corner & 0xFFFFFF, 0u) << "greeting " << i;
        auto bright = [](uint32_t p) { return std::max({red(p), green(p), blue(p)}) >= 200; };
        EXPECT_GT(std::count_if(g.pixels.begin(), g.pixels.end(), bright), 500) << "no readable text in greeting " << i;
        // Tiles are centred 80 pixels apart: wider ones would cover their neighbours.
        EXPECT_TRUE(t.width <= 80 && t.height <= 180 && std::count(t.pixels.begin(), t.pixels.end(), t.pixels[0]) !=
                                                            (long)t.pixels.size()) << "tile " << i;
        distinct.insert(g.pixels), distinct.insert(t.pixels);
    }
    EXPECT_EQ(distinct.size(), 37u);
}

TEST(PicturesPaint, TextBlurAndPaintingOnTransparency)
{
    // "L": the left column on rows 0 to 6, the whole bottom row 6; at scale 2
    // each font pixel is 2 x 2. Not mirrored; the descender row is empty for capitals.
    Mask l = textMask("L", 2, 0);
    ASSERT_TRUE(l.width == 10 && l.height == 16);
    EXPECT_TRUE(l.at(0, 0) == 1.0f && l.at(1, 1) == 1.0f && l.at(9, 12) == 1.0f && l.at(9, 0) == 0.0f && l.at(9, 14) == 0.0f);
    // Glyphs advance by width plus gap; unknown characters leave a blank; the third glyph starts at 2 * (5 + 3).
    Mask two = textMask("L\x01L", 1, 3);
    EXPECT_TRUE(two.width == 3 * 5 + 2 * 3 && textWidth("L\x01L", 1, 3) == two.width && two.at(16, 0) == 1.0f);
    for (int y = 0; y < two.height; y++)
        for (int x = 8; x < 13; x++)
            EXPECT_EQ(two.at(x, y), 0.0f) << x << "," << y;
    // A wrapping blur moves light, it does not make or lose it, symmetrically
    // across the seam; a clamped one does not wrap.
    for (bool wrap : {true, false}) {
        Mask m(32, 16);
        m.at(0, 8) = 1.0f;
        blurMask(m, 2, 3, wrap);
        const float total = std::accumulate(m.v.begin(), m.v.end(), 0.0f);
        EXPECT_TRUE(m.at(0, 8) > 0.0f && m.at(0, 8) < 1.0f) << wrap;
        EXPECT_TRUE(wrap ? std::fabs(total - 1.0f) < 1e-4 && m.at(31, 8) > 0.0f && std::fabs(m.at(1, 8) - m.at(31, 8)) < 1e-6
                         : m.at(31, 8) == 0.0f) << wrap;
    }
    // Painting on transparency keeps the colour and gives the coverage as alpha
    // (premultiplying would darken the logo's glow into a grey rim); over an
    // opaque colour the result stays opaque and mixes by coverage. Fully
    // transparent pixels are stored as 0; opaque pictures get alpha 255.
    Canvas canvas(2, 1, Color{0, 0, 0, 0}), opaque(1, 1, colorHex(0x000000)), clear(1, 1, Color{1, 1, 1, 0});
    Mask mask(2, 1);
    mask.at(0, 0) = 0.25f, mask.at(1, 0) = 1.0f;
    paintMask(canvas, mask, 0, 0, colorHex(0xFF8000));
    paintMask(opaque, Mask(1, 1, 0.5f), 0, 0, colorHex(0xFFFFFF));
    EXPECT_EQ(pictureFromCanvas(canvas, true).pixels, (std::vector<uint32_t>{0x40FF8000u, 0xFFFF8000u}));
    EXPECT_TRUE(pictureFromCanvas(opaque, true).pixels[0] == 0xFF808080u && pictureFromCanvas(clear, true).pixels[0] == 0u &&
                pictureFromCanvas(clear, false).pixels[0] == 0xFFFFFFFFu);
}

// The builder's generated pictures: the names, sizes and formats the engine's
// loaders depend on, and the properties the effects rely on (tiling textures,
// glitch frames at the pass's stride, a transparent logo background, a list
// that names real pictures), read back from the written PNG files.

#include <png.h>

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

} // namespace

// Two builds writing the same bytes: ProductionBuild.TwoBuildsAreByteIdentical.
TEST(PicturesBuild, WritesEachPictureAsMadeAndListsTheLayerPictures)
{
    TempDir dir;
    Collected memory = generate(dir.path());
    // No name is given twice (each would silently replace the other).
    EXPECT_EQ(std::set<std::string>(memory.names.begin(), memory.names.end()).size(), memory.names.size());
    // The names and sizes the engine loads are checked in the production's tree.
    EXPECT_FALSE(memory.pictures.count("textures/glitch/output00001.png")) << "glitch frame 1 is never loaded";
    for (const auto &[name, picture] : memory.pictures) {
        SCOPED_TRACE(name);
        std::string bytes = readFile(dir / name);
        ASSERT_GE(bytes.size(), 33u);
        // The header as the engine's loader sees it: 8 bits, the colour type, the size.
        const int colourType = picture.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        EXPECT_EQ((std::array<int, 4>{bytes[24], bytes[25], (int)be32(bytes, 16), (int)be32(bytes, 20)}),
                  (std::array<int, 4>{8, colourType, picture.width, picture.height})) << "depth, colour type, size";
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
        SCOPED_TRACE(line);
        int index = -1;
        size_t space = line.find(' ');
        ASSERT_EQ(sscanf(line.c_str(), "%d", &index), 1);
        ASSERT_NE(space, std::string::npos);
        std::string path = line.substr(space + 1, line.find_first_of("\r\n") - space - 1);
        // Once each, within backimage_texture_idx's range, no longer than a list line may be.
        EXPECT_TRUE(indices.insert(index).second) << "a second line for " << index;
        EXPECT_GE(index, 0);
        EXPECT_LE(index, 64);
        EXPECT_LE(line.size(), 255u);
        ASSERT_TRUE(memory.pictures.count(path)) << "names no generated picture";
        // The band is 320 x 180; narrower or shorter pictures leave old frame content showing.
        EXPECT_EQ(memory.pictures[path].height, 180);
        EXPECT_GE(memory.pictures[path].width, 320);
        listed.insert(path);
    }
    ASSERT_FALSE(listed.empty());
    for (int i = 0; i < layerPictureCount(); i++)
        EXPECT_TRUE(listed.count(layerPictureName(i))) << layerPictureName(i) << " generated but not listed";
}

TEST(PicturesBuild, TexturesWrapSeamlessly)
{
    for (int t = 1; t <= 10; t++) {
        const Picture p = t <= 3 ? tunnelTexture(t) : fishTexture(t - 3);
        ASSERT_EQ(std::make_pair(p.width, p.height), std::make_pair(256, 256)) << t;
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
        EXPECT_LE(seam[0], steepest[0] + 4.0) << "the left and right edges of " << t << " do not meet";
        EXPECT_LE(seam[1], steepest[1] + 4.0) << "the top and bottom edges of " << t << " do not meet";
    }
}

TEST(PicturesBuild, GlitchFramesHaveThePassStrideAndAreMostlyNeutral)
{
    for (int n = 2; n <= 99; n++) {
        Picture frame = glitchFrame(n);
        // The pass indexes rows at a stride of 160: any other width shears the blocks.
        ASSERT_EQ(std::make_tuple(frame.width, frame.height), std::make_tuple(GLITCH_WIDTH, GLITCH_HEIGHT)) << n;
        long neutral = std::count_if(frame.pixels.begin(), frame.pixels.end(),
                                     [](uint32_t p) { return red(p) == 127 && green(p) == 127; });
        EXPECT_GE(neutral, (long)frame.pixels.size() / 2) << "frame " << n << " displaces more than half the picture";
    }
}

TEST(PicturesBuild, TransparentLogoBlackGreetingBackgroundsAndNarrowTiles)
{
    Picture logo = logoComposition(), intro = introPicture();
    ASSERT_EQ(std::make_tuple(logo.width, logo.height, logo.alpha), std::make_tuple(320, 180, true));
    ASSERT_EQ(std::make_tuple(intro.width, intro.height, intro.alpha), std::make_tuple(320, 180, false));
    // The logo's top and bottom rows leave the frame alone; the intro is opaque.
    for (int x = 0; x < 320; x++)
        for (int row : {0, 179})
            ASSERT_EQ(alpha(logo.pixels[row * 320 + x]), 0) << "logo row " << row << ", x " << x;
    for (int i = 0; i < 320 * 180; i++)
        ASSERT_EQ(alpha(intro.pixels[i]), 255) << "intro pixel " << i;
    for (int i = 1; i <= 20; i++) {
        // 17 greetings, added to the frame: the background must add nothing; 20 tiles.
        Picture g = greetingPicture(std::min(i, 17)), t = glitchTile(i);
        for (uint32_t corner : {g.pixels.front(), g.pixels[(size_t)g.width - 1], g.pixels.back()})
            EXPECT_EQ(corner & 0xFFFFFF, 0u) << "greeting " << i;
        // Tiles are centred 80 pixels apart: wider ones would cover their neighbours.
        EXPECT_LE(t.width, 80) << "tile " << i;
        EXPECT_LE(t.height, 180) << "tile " << i;
    }
}

// The glyphs and the blur draw the greetings: the greets' golden frames cover them.
TEST(PicturesPaint, PaintingOnTransparency)
{
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
    EXPECT_EQ(pictureFromCanvas(opaque, true).pixels[0], 0xFF808080u);
    EXPECT_EQ(pictureFromCanvas(clear, true).pixels[0], 0u);
    EXPECT_EQ(pictureFromCanvas(clear, false).pixels[0], 0xFFFFFFFFu);
}

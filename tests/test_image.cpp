// Pictures: PNG files of every colour type, depth and interlacing decoded to
// pixel words, each failure message, the name test of imgLoad, the row
// conversion, the box blur and dimming. Random damage: test_hostile.cpp.

#include <png.h>
#include <zlib.h> // Required for: crc32() of patched chunks

#include <regex>

#include "data/data.h"
#include "data/image.h"
#include "data/pngwrite.h"
#include "testutil.h"

// A picture as the file stores it: samples row by row with channels
// interleaved (palette indices for palette pictures), at the file's depth.
struct Png {
    int type, depth, width, height;
    std::vector<int> samples;
    std::vector<png_color> palette = {};
    std::vector<png_byte> alpha = {};   // tRNS of a palette picture
    std::vector<png_uint_16> key = {};  // tRNS colour key: grey, or red green blue
    bool interlaced = false;
};

// With no jump point set, a libpng error here aborts the test run.
static std::string encode(const Png &p)
{
    std::vector<png_byte> bytes; // one sample a byte below 8 bits, 16-bit ones big-endian
    for (int s : p.samples) {
        if (p.depth == 16)
            bytes.push_back((png_byte)(s >> 8));
        bytes.push_back((png_byte)s);
    }
    std::vector<png_bytep> rows;
    for (int y = 0; y < p.height; y++)
        rows.push_back(bytes.data() + bytes.size() / p.height * y);
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, [](png_structp png, png_bytep data, size_t n) {
        ((std::string *)png_get_io_ptr(png))->append((char *)data, n);
    }, nullptr);
    png_set_IHDR(png, info, p.width, p.height, p.depth, p.type, p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!p.palette.empty())
        png_set_PLTE(png, info, p.palette.data(), (int)p.palette.size());
    auto k = [&](size_t i) { return i < p.key.size() ? p.key[i] : (png_uint_16)0; };
    png_color_16 key = {0, k(0), k(1), k(2), k(0)};
    if (!p.alpha.empty() || !p.key.empty())
        png_set_tRNS(png, info, p.alpha.data(), (int)p.alpha.size(), p.key.empty() ? nullptr : &key);
    png_write_info(png, info);
    png_set_packing(png);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Offset of the first chunk of that type (npos if none); with type null,
// recomputes every chunk's CRC so that damage inside reaches the decoder.
static size_t chunk(std::string &png, const char *type, size_t *length = nullptr)
{
    for (size_t at = 8, n = 0; at + 12 <= png.size() && at + 12 + (n = be32(png, at)) <= png.size(); at += 12 + n) {
        if (type && png.compare(at + 4, 4, type) == 0)
            return length ? (*length = n, at) : at;
        uint32_t crc = (uint32_t)crc32(0, (const Bytef *)png.data() + at + 4, (uInt)(n + 4));
        for (int i = 0; i < 4 && !type; i++)
            png[at + 8 + n + i] = (char)(crc >> (24 - 8 * i));
    }
    return std::string::npos;
}

// A sound RGB header for width x height at depth and a four-byte IDAT that
// holds no zlib stream.
static std::string headerOnly(uint32_t width, uint32_t height, int depth = 8)
{
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t v : {width, height})
        png += {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
    png += std::string{(char)depth, 2, 0, 0, 0, 0, 0, 0, 0} + std::string("\0\0\0\x04IDATabcd\0\0\0\0", 16);
    chunk(png, nullptr);
    return png;
}

static Png noiseRGB(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    Png p{PNG_COLOR_TYPE_RGB, 8, width, height, {}};
    for (int i = 0; i < width * height * 3; i++)
        p.samples.push_back((int)(random() & 0xFF));
    return p;
}

// Odd sizes leave some Adam7 passes empty and others one column wide.
static std::vector<Png> awkwardPictures()
{
    Png grey{PNG_COLOR_TYPE_GRAY, 2, 13, 7, {}}, greyAlpha{PNG_COLOR_TYPE_GRAY_ALPHA, 16, 6, 5, {}};
    for (int i = 0; i < 13 * 7; i++)
        grey.samples.push_back((i % 13 + 2 * (i / 13)) % 4);
    for (int i = 0; i < 6 * 5 * 2; i++)
        greyAlpha.samples.push_back(i * 40503 % 65536);
    Png palette = grey;
    palette.type = PNG_COLOR_TYPE_PALETTE, palette.depth = 4;
    palette.palette = {{10, 0, 0}, {0, 20, 0}, {0, 0, 30}, {40, 40, 40}}, palette.alpha = {0x11, 0x22, 0x33};
    return {noiseRGB(11, 9, 7), grey, palette, greyAlpha};
}

// "[func :  123]" becomes "[func]": messages compared without line numbers.
static std::string untag(const std::string &out) { return std::regex_replace(out, std::regex(" : +[0-9]+\\]"), "]"); }

static std::vector<uint32_t> pixelsOf(Texture *t) { return {words(t), words(t) + t->bitmap->width * t->bitmap->height}; }

static std::string loaded(const std::string &name, int w, int h)
{
    return "[txtLoadPNG]\"loaded texture from " + name + ": " + std::to_string(w) + " x " + std::to_string(h) + "\"\n";
}

// Assets live under a fresh directory, which is the base path.
class Images : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        captured([&] { dataSetBasePath((dir.path() + "/").c_str()); });
    }
    // Runs a loader with its messages (standard output) untagged and libpng's
    // own complaints (standard error) dropped.
    template <class Load> TexturePtr capture(Load load, std::string *out)
    {
        testing::internal::CaptureStderr();
        Texture *texture = nullptr;
        *out = untag(captured([&] { texture = load(); }));
        testing::internal::GetCapturedStderr();
        return TexturePtr(texture);
    }
    TexturePtr load(const std::string &name, const std::string &bytes, std::string *out)
    {
        EXPECT_TRUE(writeFile(dir / name, bytes));
        return capture([&] { return txtLoadPNG(name.c_str()); }, out);
    }
    // Writes the picture, loads it and returns its pixels; empty on failure.
    std::vector<uint32_t> decode(const Png &p)
    {
        std::string out;
        TexturePtr texture = load("pic.png", encode(p), &out);
        return texture ? pixelsOf(texture.get()) : std::vector<uint32_t>();
    }
    TempDir dir;
};

TEST_F(Images, EveryColourTypeAndDepthBecomesARGBWords)
{
    const int RGB = PNG_COLOR_TYPE_RGB, RGBA = PNG_COLOR_TYPE_RGB_ALPHA, GREY = PNG_COLOR_TYPE_GRAY,
              GA = PNG_COLOR_TYPE_GRAY_ALPHA;
    const uint32_t a = 0xFF010203, b = 0xFFFAF0E6;
    const struct {
        Png png;
        std::vector<uint32_t> expected;
    } cases[] = {
        {{RGBA, 8, 3, 1, {16, 32, 48, 128, 1, 2, 3, 0, 250, 251, 252, 255}}, {0x80102030, 0x00010203, 0xFFFAFBFC}},
        // A colour key makes exactly the matching pixels transparent.
        {{RGB, 8, 2, 1, {10, 20, 30, 10, 20, 31}, {}, {}, {10, 20, 30}}, {0x000A141E, 0xFF0A141F}},
        {{GREY, 1, 5, 1, {0, 1, 1, 0, 1}}, {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
        {{GREY, 2, 5, 1, {0, 1, 2, 3, 1}}, {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF, 0xFF555555}},
        {{GREY, 8, 3, 1, {0x40, 0x41, 0x40}, {}, {}, {0x40}}, {0x00404040, 0xFF414141, 0x00404040}},
        {{GREY, 2, 3, 1, {2, 1, 3}, {}, {}, {1}}, {0xFFAAAAAA, 0x00555555, 0xFFFFFFFF}},
        // 16-bit samples keep their high byte.
        {{GREY, 16, 4, 1, {0x12FF, 0xFFFF, 0x0180, 0x8001}}, {0xFF121212, 0xFFFFFFFF, 0xFF010101, 0xFF808080}},
        {{GA, 16, 2, 1, {0x20FF, 0x8001, 0xFEFE, 0x00FF}}, {0x80202020, 0x00FEFEFE}},
        {{RGB, 16, 2, 1, {0x1234, 0xABCD, 0xFF00, 0x00FF, 0x0100, 0x7F7F}}, {0xFF12ABFF, 0xFF00017F}},
        // One bit per palette index, a row crossing a byte, no transparency.
        {{PNG_COLOR_TYPE_PALETTE, 1, 10, 1, {1, 0, 0, 1, 1, 1, 0, 1, 0, 1}, {{1, 2, 3}, {250, 240, 230}}},
         {b, a, a, b, b, b, a, b, a, b}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decode(c.png), c.expected) << "type " << c.png.type << ", " << c.png.depth << " bits";
    // Palette entries past the tRNS list stay opaque, at every depth.
    Png p{PNG_COLOR_TYPE_PALETTE, 8, 3, 2, {0, 1, 2, 3, 2, 1}, {{255, 0, 0}, {0, 128, 255}, {7, 8, 9}, {200, 100, 50}},
          {0x00, 0x40}};
    for (p.depth = 8; p.depth >= 2; p.depth /= 2)
        EXPECT_EQ(decode(p), (std::vector<uint32_t>{0x00FF0000, 0x400080FF, 0xFF070809, 0xFFC86432, 0xFF070809,
                                                    0x400080FF})) << p.depth << " bits";
}

TEST_F(Images, InterlacedPicturesMatchTheirPlainTwins)
{
    for (Png p : awkwardPictures()) {
        SCOPED_TRACE(testing::Message() << "type " << p.type << ", " << p.depth << " bits");
        std::vector<uint32_t> plain = decode(p);
        p.interlaced = true;
        EXPECT_EQ(plain.size(), (size_t)p.width * p.height);
        EXPECT_EQ(decode(p), plain);
        if (p.type != PNG_COLOR_TYPE_RGB || plain.size() <= 12) // a pixel of the colour picture, worked out
            continue;
        EXPECT_EQ(plain[12], 0xFF000000u | p.samples[36] << 16 | p.samples[37] << 8 | p.samples[38]);
    }
}

// Pictures from packs (read in stream buffers) are checked with the production's.

TEST_F(Images, EveryFailureEndsWithItsMessageAndNoPicture)
{
    std::string good = encode(noiseRGB(16, 16, 11)), out;
    size_t n = 0, ihdr = chunk(good, "IHDR"), idat = chunk(good, "IDAT", &n), iend = chunk(good, "IEND");
    auto flipped = [&](size_t at) { return good.substr(0, at) + (char)(good[at] ^ 0x10) + good.substr(at + 1); };
    // The zlib header names a method that does not exist; the CRC is made
    // right so that zlib is the one to object.
    std::string badZlib = good.substr(0, idat + 8) + '\x0F' + good.substr(idat + 9);
    chunk(badZlib, nullptr);
    const std::string jumped = "[txtLoadPNG]\"Error during setjmp : bad.png\"\n";
    auto tooLarge = [](const char *size) {
        return std::string("[txtLoadPNG]\"Image too large: bad.png is ") + size +
               " pixels; a picture may have at most 16384 a side and 16777216 in all\"\n";
    };
    const std::string notPng = "[txtLoadPNG]\"Not a png file : bad.png\"\n";
    const std::pair<std::string, std::string> cases[] = {
        {"This is no picture at all, just words.", notPng}, {"", notPng}, {flipped(3), notPng},
        // Cut after the signature, inside IHDR and inside IDAT.
        {good.substr(0, 8), jumped}, {good.substr(0, 20), jumped}, {good.substr(0, idat + 8 + n / 2), jumped},
        // A wrong CRC of IHDR, wrong IDAT data, a wrong zlib header, no IDAT at all.
        {flipped(ihdr + 8 + 13), jumped}, {flipped(idat + 8 + n / 2), jumped}, {badZlib, jumped},
        {good.substr(0, idat) + good.substr(iend), jumped},
        {headerOnly(0, 16), jumped}, {headerOnly(4, 4, 3), jumped}, {headerOnly(100000, 100000), tooLarge("100000 x 100000")},
        {headerOnly(IMG_MAX_SIDE + 1, 1), tooLarge("16385 x 1")}, {headerOnly(4097, 4096), tooLarge("4097 x 4096")},
        {headerOnly(5000, 5000), tooLarge("5000 x 5000")},
        // The largest sizes allowed go on to decoding, which finds no picture.
        {headerOnly(IMG_MAX_SIDE, 1), jumped}, {headerOnly(4096, 4096), jumped},
        // Cut anywhere after the image data, the picture still loads.
        {good.substr(0, iend), loaded("bad.png", 16, 16)}, {good.substr(0, iend + 6), loaded("bad.png", 16, 16)},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE("case " + std::to_string(i));
        TexturePtr texture = load("bad.png", cases[i].first, &out);
        EXPECT_EQ(out, cases[i].second);
        EXPECT_EQ(texture != nullptr, cases[i].second.find("loaded") != std::string::npos) << "a picture";
    }
}

TEST_F(Images, ImgLoadTakesOnlyPngNamesInAnyLetterCase)
{
    const uint32_t word = 0x00123456;
    for (const char *name : {"pic.PNG", "photo.jpg"})
        ASSERT_EQ(pngWriteFile((dir / name).c_str(), &word, 1, 1, 1, 0), 1);
    std::string out;
    TexturePtr texture = capture([] { return imgLoad("pic.PNG"); }, &out);
    EXPECT_EQ(out, loaded("pic.PNG", 1, 1));
    EXPECT_EQ(texture ? pixelsOf(texture.get()) : std::vector<uint32_t>(), std::vector<uint32_t>{0xFF123456u});
    // Other names are not even opened, though the file is a PNG.
    EXPECT_EQ(capture([] { return imgLoad("photo.jpg"); }, &out), nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(capture([] { return imgLoad("gone.Png"); }, &out), nullptr);
    EXPECT_EQ(out, "[dataFileOpen]\"LoadFile: Failed to find a file: gone.Png\"\n"
                   "[txtLoadPNG]\"Failed to open image file:gone.Png\"\n"
                   "[FILE]: Failed using internal loader(gone.Png). Using DataTypes.\n");
    for (const char *name : {"a.png", "A.PNG", ".pNg", "dir/x.PnG"})
        EXPECT_EQ(imgIsPngName(name), 1) << name;
    for (const char *name : {"png", "apng", "a.pn", "a.png ", "pic.PNG.bak", "pic.pn g", "", (const char *)nullptr})
        EXPECT_EQ(imgIsPngName(name), 0) << (name ? name : "null");
}

static TexturePtr pictureOf(int width, int height, std::vector<std::pair<int, uint32_t>> pixels, uint32_t rest = 0)
{
    TexturePtr texture(txt_CreateTexture(width, height, BITMAP_RGB32));
    std::fill_n(words(texture.get()), width * height, rest);
    for (const auto &p : pixels)
        words(texture.get())[p.first] = p.second;
    return texture;
}

TEST_F(Images, ConvertBoxBlurAndDimAtWorkedValues)
{
    // RGBA bytes become words, in place too; other formats are refused.
    const uint8_t rgba[8] = {1, 2, 3, 4, 0xFF, 0x80, 0x00, 0x10};
    const std::vector<uint32_t> expected = {0x04010203, 0x10FF8000};
    std::vector<uint32_t> raw(2), copied(2), untouched(2, 0xDEADBEEF);
    memcpy(raw.data(), rgba, 8);
    std::vector<uint32_t> inPlace = raw;
    imgConvert(inPlace.data(), inPlace.data(), 2, BITMAP_RGB32);
    imgConvert(rgba, copied.data(), 2, IMG_RGBA8);
    EXPECT_EQ(inPlace, expected);
    EXPECT_EQ(copied, raw);
    EXPECT_EQ(untag(captured([&] { imgConvert(rgba, untouched.data(), 2, 0x1F); })),
              "[imgConvert]\"Unsupported image format:format:0x2 , dstFormat:1f\\n\"\n");
    EXPECT_EQ(untouched, std::vector<uint32_t>(2, 0xDEADBEEF));

    // Box blur: pixels on both sides of a strip boundary, with a stray fourth
    // byte that must not leak into the colours, and one in the bottom-right
    // corner, which is averaged with nothing. (100, 50, 25) / 2, (105, 55,
    // 31) / 2 and (5, 5, 6) / 2 on the two top rows.
    const int w = 64;
    TexturePtr picture = pictureOf(w, 4, {{w + 31, 0x00C86432}, {w + 32, 0x7F0A0B0C}, {3 * w + 63, 0x00FFFFFF}});
    TexturePtr blurred = pictureOf(w, 4, {{30, 0xFF32190C}, {31, 0xFF341B0F}, {32, 0xFF020203}, {w + 30, 0xFF32190C},
                                          {w + 31, 0xFF341B0F}, {w + 32, 0xFF020203}, {2 * w + 62, 0xFF3F3F3F},
                                          {2 * w + 63, 0xFF7F7F7F}, {3 * w + 62, 0xFF7F7F7F}, {3 * w + 63, 0xFFFFFFFF}},
                                   0xFF000000);
    EXPECT_EQ(imgBoxBlur(picture.get()), 1);
    EXPECT_EQ(pixelsOf(picture.get()), pixelsOf(blurred.get()));
    // Grey pictures and none are refused.
    TexturePtr grey(txt_CreateTexture(32, 4, BITMAP_GRAY8));
    EXPECT_EQ(imgBoxBlur(grey.get()), 0);
    EXPECT_EQ(((uint8_t *)grey->bitmap->pixels)[0], 0);
    EXPECT_EQ(imgBoxBlur(nullptr), 0);

    // Dimming scales every byte by 179 / 256, in place too; sizes must match.
    TexturePtr src = pictureOf(2, 1, {{0, 0xFF800100}, {1, 0x02FE7F03}}), dst = pictureOf(2, 1, {});
    TexturePtr other = pictureOf(1, 2, {}, 0x12345678);
    imgDim(src.get(), dst.get());
    EXPECT_EQ(pixelsOf(dst.get()), (std::vector<uint32_t>{0xB2590000, 0x01B15802}));
    imgDim(src.get(), src.get());
    for (auto [from, to] : {std::pair<Texture *, Texture *>{dst.get(), other.get()}, {nullptr, other.get()}, {other.get(), nullptr}})
        imgDim(from, to); // sizes differ, or nothing to read or write
    EXPECT_EQ(pixelsOf(src.get()), pixelsOf(dst.get()));
    EXPECT_EQ(pixelsOf(other.get()), (std::vector<uint32_t>{0x12345678, 0x12345678}));
}

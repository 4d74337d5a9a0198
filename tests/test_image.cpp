// Pictures: PNG files of every colour type, depth and interlacing decoded to
// pixel words, each failure message, damaged files that must never crash,
// the name test of imgLoad, the row conversion, the box blur and dimming.
#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>
#include <zlib.h> // Required for: crc32() of hand-made chunks

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/image.h"
#include "data/pack.h"
#include "data/pngwrite.h"
#include "testutil.h"

// ---------------------------------------------------------------------------
// Making PNG files sample by sample
// ---------------------------------------------------------------------------

// A picture as the file stores it: samples per row, channels interleaved, at
// the file's bit depth (palette indices for palette pictures).
struct RawPng {
    int width = 0;
    int height = 0;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<std::vector<int>> rows;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha; // tRNS of a palette picture
    bool hasKey = false;                // tRNS colour key of a grey or RGB picture
    png_color_16 key = {};
};

static void appendToString(png_structp png, png_bytep data, size_t length)
{
    ((std::string *)png_get_io_ptr(png))->append((const char *)data, length);
}

static void flushNothing(png_structp) {}

// Packs samples MSB first below 8 bits, big-endian at 16.
static std::vector<png_byte> packRow(const std::vector<int> &samples, int depth)
{
    std::vector<png_byte> out;
    if (depth == 16) {
        for (int s : samples) {
            out.push_back((png_byte)(s >> 8));
            out.push_back((png_byte)s);
        }
        return out;
    }
    int perByte = 8 / depth, shift = 8 - depth;
    for (size_t i = 0; i < samples.size(); i++) {
        if (i % perByte == 0)
            out.push_back(0);
        out.back() |= (png_byte)(samples[i] << (shift - (int)(i % perByte) * depth));
    }
    return out;
}

// Everything is built before the jump point: libpng's errors skip destructors.
static bool writePngRows(png_structp png, png_infop info, const RawPng &p, png_bytepp rows, std::string *out)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, out, appendToString, flushNothing);
    png_set_IHDR(png, info, (png_uint_32)p.width, (png_uint_32)p.height, p.bitDepth, p.colorType,
                 p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!p.palette.empty())
        png_set_PLTE(png, info, p.palette.data(), (int)p.palette.size());
    if (!p.paletteAlpha.empty())
        png_set_tRNS(png, info, p.paletteAlpha.data(), (int)p.paletteAlpha.size(), nullptr);
    if (p.hasKey)
        png_set_tRNS(png, info, nullptr, 0, &p.key);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

static std::string encodePng(const RawPng &p)
{
    std::vector<std::vector<png_byte>> packed;
    for (const std::vector<int> &row : p.rows)
        packed.push_back(packRow(row, p.bitDepth));
    std::vector<png_bytep> rowPointers;
    for (std::vector<png_byte> &row : packed)
        rowPointers.push_back(row.data());
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = png && info && writePngRows(png, info, p, rowPointers.data(), &out);
    png_destroy_write_struct(&png, &info);
    return ok ? out : std::string();
}

// Chunks walked in file bytes: the offset of each length field.
static std::vector<size_t> chunkOffsets(const std::string &png)
{
    std::vector<size_t> offsets;
    for (size_t at = 8; at + 12 <= png.size();) {
        const unsigned char *p = (const unsigned char *)png.data() + at;
        size_t length = (size_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
        if (at + 12 + length > png.size())
            break;
        offsets.push_back(at);
        at += 12 + length;
    }
    return offsets;
}

static size_t findChunk(const std::string &png, const char *type)
{
    for (size_t at : chunkOffsets(png)) {
        if (png.compare(at + 4, 4, type) == 0)
            return at;
    }
    return std::string::npos;
}

static size_t chunkLength(const std::string &png, size_t at)
{
    const unsigned char *p = (const unsigned char *)png.data() + at;
    return (size_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

static void putBE32(std::string &s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        s[at + i] = (char)(v >> (24 - 8 * i));
}

// Recomputes the CRC of every whole chunk, so that damage inside a chunk
// reaches the decoder instead of stopping at the CRC check.
static void fixCrcs(std::string &png)
{
    for (size_t at : chunkOffsets(png)) {
        size_t length = chunkLength(png, at);
        uLong crc = crc32(0, (const Bytef *)png.data() + at + 4, (uInt)(length + 4));
        putBE32(png, at + 8 + length, (uint32_t)crc);
    }
}

static const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

// A signature, an IHDR chunk and a four-byte IDAT chunk that holds no sound
// zlib stream, all with sound CRCs.
static std::string headerOnly(uint32_t width, uint32_t height, int depth = 8, int colorType = PNG_COLOR_TYPE_RGB)
{
    std::string chunk("\0\0\0\x0dIHDR", 8);
    chunk += std::string(13, '\0');
    putBE32(chunk, 8, width);
    putBE32(chunk, 12, height);
    chunk[16] = (char)depth;
    chunk[17] = (char)colorType;
    chunk += std::string(4, '\0');
    chunk += std::string("\0\0\0\x04IDATabcd", 12) + std::string(4, '\0');
    std::string png = kSignature + chunk;
    fixCrcs(png);
    return png;
}

// Samples that differ from pixel to pixel in every channel.
static RawPng noiseRGB(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    RawPng p;
    p.width = width;
    p.height = height;
    for (int y = 0; y < height; y++) {
        p.rows.emplace_back();
        for (int i = 0; i < width * 3; i++)
            p.rows.back().push_back((int)(random() & 0xFF));
    }
    return p;
}

// ---------------------------------------------------------------------------
// Fixture
// ---------------------------------------------------------------------------

// "[func : 1234]" becomes "[func]": messages compared without line numbers.
static std::string untag(std::string out)
{
    for (size_t at = out.find(" : "); at != std::string::npos; at = out.find(" : ", at)) {
        size_t close = out.find(']', at);
        if (close != std::string::npos && out.find_first_not_of(" 0123456789", at + 3) == close)
            out.erase(at, close - at);
        else
            at += 3;
    }
    return out;
}

static std::vector<uint32_t> pixelsOf(const Texture *texture)
{
    const Bitmap *b = texture->bitmap;
    const uint32_t *p = (const uint32_t *)b->pixels;
    return std::vector<uint32_t>(p, p + (size_t)b->width * b->height);
}

// Assets live under a fresh directory, which is the base path.
class Images : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        testing::internal::CaptureStdout();
        dataSetBasePath((dir.path() + "/").c_str());
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override
    {
        while (dataPacks)
            dataClosePack(dataPacks);
    }
    void asset(const std::string &name, const std::string &bytes) { ASSERT_TRUE(writeFile(dir / name, bytes)); }

    // Runs a loader with standard output (the messages) and standard error
    // (libpng's own complaints) captured.
    template <class Load> Texture *capture(Load load, std::string *out)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Texture *texture = load();
        *out = untag(testing::internal::GetCapturedStdout());
        testing::internal::GetCapturedStderr();
        return texture;
    }
    Texture *loadPNG(const std::string &name, std::string *out)
    {
        return capture([&] { return txtLoadPNG(name.c_str()); }, out);
    }
    // Writes the picture, loads it and returns its pixels; empty on failure.
    std::vector<uint32_t> decode(const RawPng &p, const char *name = "pic.png")
    {
        std::string bytes = encodePng(p);
        EXPECT_FALSE(bytes.empty());
        asset(name, bytes);
        std::string out;
        Texture *texture = loadPNG(name, &out);
        if (!texture) {
            ADD_FAILURE() << out;
            return {};
        }
        EXPECT_EQ(texture->bitmap->width, p.width);
        EXPECT_EQ(texture->bitmap->height, p.height);
        EXPECT_EQ(out, "[txtLoadPNG]\"loaded texture from " + std::string(name) + ": " + std::to_string(p.width) +
                           " x " + std::to_string(p.height) + "\"\n");
        std::vector<uint32_t> pixels = pixelsOf(texture);
        txt_FreeTexture(texture);
        return pixels;
    }
    TempDir dir;
};

// ---------------------------------------------------------------------------
// Decoding
// ---------------------------------------------------------------------------

TEST_F(Images, RGBAndRGBAFilesBecomePixelWords)
{
    const uint32_t words[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF};
    ASSERT_EQ(pngWriteFile((dir / "rgb.png").c_str(), words, 2, 2, 2, 0), 1);
    std::string out;
    Texture *texture = loadPNG("rgb.png", &out);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(out, "[txtLoadPNG]\"loaded texture from rgb.png: 2 x 2\"\n");
    EXPECT_EQ(texture->bitmap->format, BITMAP_RGB32);
    EXPECT_EQ(texture->extraA, nullptr);
    EXPECT_EQ(texture->extraB, nullptr);
    EXPECT_EQ(pixelsOf(texture), (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
    // In memory: blue, green, red, alpha.
    const uint8_t *bytes = (const uint8_t *)texture->bitmap->pixels;
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0, 0, 255, 255}));
    txt_FreeTexture(texture);

    RawPng rgba;
    rgba.width = 3;
    rgba.height = 1;
    rgba.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    rgba.rows = {{16, 32, 48, 128, 1, 2, 3, 0, 250, 251, 252, 255}};
    EXPECT_EQ(decode(rgba), (std::vector<uint32_t>{0x80102030, 0x00010203, 0xFFFAFBFC}));

    // A colour key makes exactly the matching pixels transparent.
    RawPng keyed;
    keyed.width = 2;
    keyed.height = 1;
    keyed.rows = {{10, 20, 30, 10, 20, 31}};
    keyed.hasKey = true;
    keyed.key.red = 10;
    keyed.key.green = 20;
    keyed.key.blue = 30;
    EXPECT_EQ(decode(keyed), (std::vector<uint32_t>{0x000A141E, 0xFF0A141F}));
}

TEST_F(Images, PalettePicturesOfEveryDepthExpandWithTheirTransparency)
{
    RawPng p;
    p.colorType = PNG_COLOR_TYPE_PALETTE;
    p.palette = {{255, 0, 0}, {0, 128, 255}, {7, 8, 9}, {200, 100, 50}};
    p.paletteAlpha = {0x00, 0x40}; // entries past the tRNS list stay opaque
    p.width = 3;
    p.height = 2;
    p.rows = {{0, 1, 2}, {3, 2, 1}};
    const std::vector<uint32_t> expected = {0x00FF0000, 0x400080FF, 0xFF070809,
                                            0xFFC86432, 0xFF070809, 0x400080FF};
    for (int depth : {8, 4, 2}) {
        p.bitDepth = depth;
        EXPECT_EQ(decode(p), expected) << depth << " bits";
    }

    // One bit per pixel, a row crossing a byte, no transparency.
    RawPng bits;
    bits.colorType = PNG_COLOR_TYPE_PALETTE;
    bits.bitDepth = 1;
    bits.palette = {{1, 2, 3}, {250, 240, 230}};
    bits.width = 10;
    bits.height = 1;
    bits.rows = {{1, 0, 0, 1, 1, 1, 0, 1, 0, 1}};
    std::vector<uint32_t> got = decode(bits);
    const uint32_t a = 0xFF010203, b = 0xFFFAF0E6;
    EXPECT_EQ(got, (std::vector<uint32_t>{b, a, a, b, b, b, a, b, a, b}));
}

TEST_F(Images, GreyPicturesOfEveryDepthBecomeGreyRGB)
{
    struct Case {
        int depth;
        std::vector<int> samples;
        std::vector<uint32_t> expected;
    } cases[] = {
        {1, {0, 1, 1, 0, 1}, {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
        {2, {0, 1, 2, 3, 1}, {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF, 0xFF555555}},
        {4, {0, 9, 15, 1, 6}, {0xFF000000, 0xFF999999, 0xFFFFFFFF, 0xFF111111, 0xFF666666}},
        {8, {0, 0x7F, 0xFF, 1, 0x80}, {0xFF000000, 0xFF7F7F7F, 0xFFFFFFFF, 0xFF010101, 0xFF808080}},
        // 16-bit samples keep their high byte.
        {16, {0x0000, 0x12FF, 0xFFFF, 0x0180, 0x8001}, {0xFF000000, 0xFF121212, 0xFFFFFFFF, 0xFF010101, 0xFF808080}},
    };
    for (const Case &c : cases) {
        RawPng p;
        p.colorType = PNG_COLOR_TYPE_GRAY;
        p.bitDepth = c.depth;
        p.width = 5;
        p.height = 1;
        p.rows = {c.samples};
        EXPECT_EQ(decode(p), c.expected) << c.depth << " bits";
    }

    // A grey key: the matching sample becomes transparent, at 2 and 8 bits.
    RawPng keyed;
    keyed.colorType = PNG_COLOR_TYPE_GRAY;
    keyed.width = 3;
    keyed.height = 1;
    keyed.hasKey = true;
    keyed.rows = {{0x40, 0x41, 0x40}};
    keyed.key.gray = 0x40;
    EXPECT_EQ(decode(keyed), (std::vector<uint32_t>{0x00404040, 0xFF414141, 0x00404040}));
    keyed.bitDepth = 2;
    keyed.rows = {{2, 1, 3}};
    keyed.key.gray = 1;
    EXPECT_EQ(decode(keyed), (std::vector<uint32_t>{0xFFAAAAAA, 0x00555555, 0xFFFFFFFF}));
}

TEST_F(Images, GreyAlphaAndSixteenBitPicturesKeepTheirHighBytes)
{
    RawPng ga;
    ga.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    ga.width = 2;
    ga.height = 1;
    ga.rows = {{0x20, 0x80, 0xFE, 0x00}};
    EXPECT_EQ(decode(ga), (std::vector<uint32_t>{0x80202020, 0x00FEFEFE}));
    ga.bitDepth = 16;
    ga.rows = {{0x20FF, 0x8001, 0xFEFE, 0x00FF}};
    EXPECT_EQ(decode(ga), (std::vector<uint32_t>{0x80202020, 0x00FEFEFE}));

    RawPng rgb16;
    rgb16.bitDepth = 16;
    rgb16.width = 2;
    rgb16.height = 1;
    rgb16.rows = {{0x1234, 0xABCD, 0xFF00, 0x00FF, 0x0100, 0x7F7F}};
    EXPECT_EQ(decode(rgb16), (std::vector<uint32_t>{0xFF12ABFF, 0xFF00017F}));

    RawPng rgba16;
    rgba16.bitDepth = 16;
    rgba16.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    rgba16.width = 1;
    rgba16.height = 2;
    rgba16.rows = {{0x1010, 0x2020, 0x3030, 0x80FF}, {0xFFFF, 0x0000, 0x00FF, 0x0001}};
    EXPECT_EQ(decode(rgba16), (std::vector<uint32_t>{0x80102030, 0x00FF0000}));
}

TEST_F(Images, InterlacedPicturesMatchTheirPlainTwins)
{
    // Odd sizes leave some Adam7 passes empty and others one column wide.
    RawPng rgb;
    rgb.width = 11;
    rgb.height = 9;
    std::vector<uint32_t> expected;
    for (int y = 0; y < rgb.height; y++) {
        rgb.rows.emplace_back();
        for (int x = 0; x < rgb.width; x++) {
            int r = x * 20, g = y * 25, b = (x * 7 + y * 13) & 0xFF;
            rgb.rows.back().insert(rgb.rows.back().end(), {r, g, b});
            expected.push_back(0xFF000000u | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b);
        }
    }
    RawPng grey;
    grey.colorType = PNG_COLOR_TYPE_GRAY;
    grey.bitDepth = 2;
    grey.width = 13;
    grey.height = 7;
    RawPng palette = grey;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.bitDepth = 4;
    palette.palette = {{10, 0, 0}, {0, 20, 0}, {0, 0, 30}, {40, 40, 40}};
    palette.paletteAlpha = {0x11, 0x22, 0x33};
    for (int y = 0; y < grey.height; y++) {
        grey.rows.emplace_back();
        for (int x = 0; x < grey.width; x++)
            grey.rows.back().push_back((x + 2 * y) % 4);
    }
    palette.rows = grey.rows;

    // Plain decoding of each kind is pinned down by the tests above; the
    // Adam7 passes must put every pixel back in the same place.
    EXPECT_EQ(decode(rgb), expected);
    for (RawPng *p : {&rgb, &grey, &palette}) {
        std::vector<uint32_t> plain = decode(*p);
        ASSERT_FALSE(plain.empty());
        p->interlaced = true;
        ASSERT_EQ(encodePng(*p)[28], 1) << "the file is not interlaced";
        EXPECT_EQ(decode(*p), plain);
    }
}

TEST_F(Images, PictureDataComesThroughAPackStream)
{
    // Larger than one stream buffer, so the decoder reads across refills.
    RawPng big = noiseRGB(128, 96, 3);
    std::string bytes = encodePng(big);
    ASSERT_GT(bytes.size(), (size_t)DATA_BUFFER_SIZE);
    std::vector<uint32_t> loose = decode(big, "big.png");
    ASSERT_EQ(loose.size(), 128u * 96u);
    EXPECT_EQ(loose[0], 0xFF000000u | (uint32_t)big.rows[0][0] << 16 | (uint32_t)big.rows[0][1] << 8 |
                            (uint32_t)big.rows[0][2]);

    PackSource entry = {"Textures/Big.png", (const uint8_t *)bytes.data(), (int32_t)bytes.size()};
    ASSERT_EQ(dataWritePack((dir / "demo.dat").c_str(), &entry, 1), 1);
    ASSERT_NE(dataOpenPack((dir / "demo.dat").c_str()), nullptr);
    std::string out;
    Texture *texture = loadPNG("textures/big.PNG", &out);
    ASSERT_NE(texture, nullptr) << out;
    EXPECT_EQ(pixelsOf(texture), loose);
    txt_FreeTexture(texture);
}

// ---------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------

TEST_F(Images, EveryFailureEndsWithItsMessageAndNoPicture)
{
    std::string good = encodePng(noiseRGB(16, 16, 11));
    size_t ihdr = findChunk(good, "IHDR");
    size_t idat = findChunk(good, "IDAT");
    size_t iend = findChunk(good, "IEND");
    ASSERT_NE(idat, std::string::npos);
    size_t idatLength = chunkLength(good, idat);
    ASSERT_GT(idatLength, 100u);

    auto flipped = [&](size_t at) {
        std::string s = good;
        s[at] ^= 0x10;
        return s;
    };
    // The zlib stream's header names a compression method that does not exist;
    // the chunk's CRC is made right so that zlib is the one to object.
    std::string badZlib = good;
    badZlib[idat + 8] = 0x0F;
    fixCrcs(badZlib);
    // Deflate blocks of a reserved type, CRC made right.
    std::string badDeflate = good;
    badDeflate[idat + 10] = 0x07;
    fixCrcs(badDeflate);

    const std::string setjmpError = "[txtLoadPNG]\"Error during setjmp : bad.png\"\n";
    const std::string tooLarge = "[txtLoadPNG]\"Unable to allocate image_data while loading bad.png \"\n";
    const std::string notPng = "[txtLoadPNG]\"Not a png file : bad.png\"\n";
    struct Case {
        const char *what;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"text", "This is no picture at all, just words.", notPng},
        {"empty file", "", notPng},
        {"first five signature bytes", kSignature.substr(0, 5), notPng},
        {"signature with one bit wrong", flipped(3), notPng},
        {"cut after the signature", good.substr(0, 8), setjmpError},
        {"cut inside IHDR", good.substr(0, 20), setjmpError},
        {"cut after IHDR", good.substr(0, ihdr + 25), setjmpError},
        {"cut at the IDAT header", good.substr(0, idat + 4), setjmpError},
        {"cut inside IDAT", good.substr(0, idat + 8 + idatLength / 2), setjmpError},
        {"cut inside the IDAT CRC", good.substr(0, idat + 8 + idatLength + 2), setjmpError},
        {"IHDR CRC wrong", flipped(ihdr + 8 + 13), setjmpError},
        {"IHDR data wrong", flipped(ihdr + 8 + 2), setjmpError},
        {"IDAT CRC wrong", flipped(idat + 8 + idatLength), setjmpError},
        {"IDAT data wrong", flipped(idat + 8 + idatLength / 2), setjmpError},
        {"zlib header wrong, CRC right", badZlib, setjmpError},
        {"deflate block wrong, CRC right", badDeflate, setjmpError},
        {"no IDAT before IEND", good.substr(0, idat) + good.substr(iend), setjmpError},
        {"width zero", headerOnly(0, 16), setjmpError},
        {"bit depth 3", headerOnly(4, 4, 3), setjmpError},
        {"100000 x 100000", headerOnly(100000, 100000), tooLarge},
        {"one side too long", headerOnly(IMG_MAX_SIDE + 1, 1), tooLarge},
        {"too many pixels", headerOnly(4097, 4096), tooLarge},
        // The largest side allowed goes on to decoding, which finds no picture.
        {"longest side, no picture data", headerOnly(IMG_MAX_SIDE, 1), setjmpError},
        {"4096 x 4096, no picture data", headerOnly(4096, 4096), setjmpError},
    };
    for (const Case &c : cases) {
        asset("bad.png", c.bytes);
        std::string out;
        Texture *texture = loadPNG("bad.png", &out);
        EXPECT_EQ(texture, nullptr) << c.what;
        EXPECT_EQ(out, c.message) << c.what;
        txt_FreeTexture(texture);
    }

    std::string out;
    EXPECT_EQ(loadPNG("missing.png", &out), nullptr);
    EXPECT_EQ(out, "[dataFileOpen]\"LoadFile: Failed to find a file: missing.png\"\n"
                   "[txtLoadPNG]\"Failed to open image file:missing.png\"\n");
}

TEST_F(Images, APictureCutAfterItsImageDataStillLoads)
{
    RawPng p = noiseRGB(5, 4, 5);
    std::string good = encodePng(p);
    size_t iend = findChunk(good, "IEND");
    ASSERT_EQ(iend + 12, good.size());
    std::vector<uint32_t> whole = decode(p);
    for (size_t length : {iend, iend + 6}) {
        asset("cut.png", good.substr(0, length));
        std::string out;
        Texture *texture = loadPNG("cut.png", &out);
        ASSERT_NE(texture, nullptr) << length;
        EXPECT_EQ(pixelsOf(texture), whole);
        txt_FreeTexture(texture);
    }
}

// Damaged copies of sound pictures: truncated, bit-flipped, or bit-flipped
// with their CRCs made right again so the damage reaches the decoder. Every
// load must end in a message or a whole picture; the sanitizer build checks
// that nothing is read wrongly or leaked on the way.
TEST_F(Images, DamagedFilesEndInAMessageOrAPictureNeverACrash)
{
    RawPng palette;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.bitDepth = 4;
    palette.interlaced = true;
    palette.width = 9;
    palette.height = 7;
    palette.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    palette.paletteAlpha = {0x80};
    for (int y = 0; y < 7; y++)
        palette.rows.push_back({0, 1, 2, 1, 0, 2, 2, 1, (y % 3)});
    RawPng greyAlpha;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.bitDepth = 16;
    greyAlpha.interlaced = true;
    greyAlpha.width = 6;
    greyAlpha.height = 5;
    for (int y = 0; y < 5; y++)
        greyAlpha.rows.push_back({y * 1000, 65535, 300, y, 9999, 1, 0, 0, 40000, 20000, 123, 4567});
    const std::string bases[] = {encodePng(noiseRGB(16, 12, 21)), encodePng(palette), encodePng(greyAlpha)};

    const std::string failureMessages[] = {
        "[txtLoadPNG]\"Not a png file : f.png\"\n",
        "[txtLoadPNG]\"Error during setjmp : f.png\"\n",
        "[txtLoadPNG]\"Unable to allocate image_data while loading f.png \"\n",
    };
    std::mt19937 random(20240613);
    int pictures = 0, failures = 0;
    for (int round = 0; round < 600; round++) {
        std::string bytes = bases[round % 3];
        int mode = (int)(random() % 3);
        if (mode == 0) {
            bytes.resize(random() % bytes.size());
        } else {
            int flips = 1 + (int)(random() % 4);
            for (int i = 0; i < flips; i++) {
                // Half of the flips land in the signature, header and palette.
                size_t at = random() % 2 ? random() % 64 % bytes.size() : random() % bytes.size();
                bytes[at] ^= (char)(1 << (random() % 8));
            }
            if (mode == 2)
                fixCrcs(bytes);
        }
        asset("f.png", bytes);
        std::string out;
        Texture *texture = loadPNG("f.png", &out);
        if (texture) {
            pictures++;
            const Bitmap *b = texture->bitmap;
            ASSERT_EQ(out, "[txtLoadPNG]\"loaded texture from f.png: " + std::to_string(b->width) + " x " +
                               std::to_string(b->height) + "\"\n")
                << "round " << round;
            ASSERT_NE(b->pixels, nullptr);
            EXPECT_LE((long)b->width * b->height, (long)IMG_MAX_PIXELS);
            txt_FreeTexture(texture);
        } else {
            failures++;
            ASSERT_NE(std::find(std::begin(failureMessages), std::end(failureMessages), out), std::end(failureMessages))
                << "round " << round << ": " << out;
        }
    }
    // Both outcomes must have been reached for the loop to mean anything.
    EXPECT_GT(pictures, 20);
    EXPECT_GT(failures, 200);
}

// ---------------------------------------------------------------------------
// Loading by name
// ---------------------------------------------------------------------------

TEST_F(Images, ImgLoadTakesOnlyPngNamesInAnyLetterCase)
{
    const uint32_t word = 0x00123456;
    ASSERT_EQ(pngWriteFile((dir / "pic.PNG").c_str(), &word, 1, 1, 1, 0), 1);
    ASSERT_EQ(pngWriteFile((dir / "photo.jpg").c_str(), &word, 1, 1, 1, 0), 1);
    ASSERT_EQ(pngWriteFile((dir / "png").c_str(), &word, 1, 1, 1, 0), 1);

    std::string out;
    Texture *texture = capture([] { return imgLoad("pic.PNG"); }, &out);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(pixelsOf(texture)[0], 0xFF123456u);
    EXPECT_EQ(out, "[txtLoadPNG]\"loaded texture from pic.PNG: 1 x 1\"\n");
    txt_FreeTexture(texture);

    // Other names are not even opened, though the file is a PNG.
    for (const char *name : {"photo.jpg", "png", "", "x.p", "pic.PNG.bak", "pic.pn g"}) {
        EXPECT_EQ(capture([&] { return imgLoad(name); }, &out), nullptr) << name;
        EXPECT_EQ(out, "") << name;
    }
    EXPECT_EQ(capture([] { return imgLoad(nullptr); }, &out), nullptr);
    EXPECT_EQ(out, "");

    EXPECT_EQ(capture([] { return imgLoad("gone.Png"); }, &out), nullptr);
    EXPECT_EQ(out, "[dataFileOpen]\"LoadFile: Failed to find a file: gone.Png\"\n"
                   "[txtLoadPNG]\"Failed to open image file:gone.Png\"\n"
                   "[FILE]: Failed using internal loader(gone.Png). Using DataTypes.\n");
    asset("broken.png", "not a picture");
    EXPECT_EQ(capture([] { return imgLoad("broken.png"); }, &out), nullptr);
    EXPECT_EQ(out, "[txtLoadPNG]\"Not a png file : broken.png\"\n"
                   "[FILE]: Failed using internal loader(broken.png). Using DataTypes.\n");

    for (const char *name : {"a.png", "A.PNG", ".pNg", "dir/x.PnG"})
        EXPECT_EQ(imgIsPngName(name), 1) << name;
    for (const char *name : {"png", "apng", "a.pn", "a.png ", ""})
        EXPECT_EQ(imgIsPngName(name), 0) << name;
    EXPECT_EQ(imgIsPngName(nullptr), 0);
}

// ---------------------------------------------------------------------------
// Conversion, blur, dimming
// ---------------------------------------------------------------------------

TEST_F(Images, ConvertTurnsRGBABytesIntoWordsAndRefusesOtherFormats)
{
    const uint8_t rgba[8] = {1, 2, 3, 4, 0xFF, 0x80, 0x00, 0x10};
    uint32_t words[2] = {0, 0};
    imgConvert(rgba, words, 2, BITMAP_RGB32);
    EXPECT_EQ(words[0], 0x04010203u);
    EXPECT_EQ(words[1], 0x10FF8000u);

    uint8_t inPlace[8];
    memcpy(inPlace, rgba, 8);
    imgConvert(inPlace, inPlace, 2, BITMAP_RGB32);
    EXPECT_EQ(memcmp(inPlace, words, 8), 0);

    uint8_t copy[8] = {};
    imgConvert(rgba, copy, 2, IMG_RGBA8);
    EXPECT_EQ(memcmp(copy, rgba, 8), 0);

    for (int format : {(int)BITMAP_GRAY8, 0x1F}) {
        uint32_t untouched[2] = {0xDEADBEEF, 0xDEADBEEF};
        testing::internal::CaptureStdout();
        imgConvert(rgba, untouched, 2, format);
        std::string out = untag(testing::internal::GetCapturedStdout());
        char expected[128];
        snprintf(expected, sizeof expected,
                 "[imgConvert]\"Unsupported image format:format:0x2 , dstFormat:%x\\n\"\n", format);
        EXPECT_EQ(out, expected);
        EXPECT_EQ(untouched[0], 0xDEADBEEFu);
        EXPECT_EQ(untouched[1], 0xDEADBEEFu);
    }
}

static Texture *pictureOf(int width, int height, std::initializer_list<std::pair<int, uint32_t>> pixels)
{
    Texture *texture = txt_CreateTexture(width, height, BITMAP_RGB32);
    for (const auto &p : pixels)
        ((uint32_t *)texture->bitmap->pixels)[p.first] = p.second;
    return texture;
}

// Every pixel opaque black except the listed ones.
static std::vector<uint32_t> blackExcept(int count, std::initializer_list<std::pair<int, uint32_t>> pixels)
{
    std::vector<uint32_t> out((size_t)count, 0xFF000000u);
    for (const auto &p : pixels)
        out[(size_t)p.first] = p.second;
    return out;
}

TEST_F(Images, BoxBlurAveragesTwoByTwoRoundingDown)
{
    // One red pixel in the corner: 255 -> 127 across, -> 63 down.
    Texture *single = pictureOf(32, 4, {{0, 0x00FF0000}});
    EXPECT_EQ(imgBoxBlur(single), 1);
    EXPECT_EQ(pixelsOf(single), blackExcept(32 * 4, {{0, 0xFF3F0000}}));
    txt_FreeTexture(single);

    // Pixels on both sides of a strip boundary, with a stray fourth byte that
    // must not leak into the colours, and one in the bottom-right corner,
    // which is averaged with nothing.
    const int w = 64;
    Texture *picture = pictureOf(w, 4, {{1 * w + 31, 0x00C86432}, {1 * w + 32, 0x7F0A0B0C}, {3 * w + 63, 0x00FFFFFF}});
    EXPECT_EQ(imgBoxBlur(picture), 1);
    EXPECT_EQ(pixelsOf(picture), blackExcept(w * 4, {
                                                        {0 * w + 30, 0xFF32190C}, // (100, 50, 25) / 2
                                                        {0 * w + 31, 0xFF341B0F}, // (105, 55, 31) / 2
                                                        {0 * w + 32, 0xFF020203}, // (5, 5, 6) / 2
                                                        {1 * w + 30, 0xFF32190C},
                                                        {1 * w + 31, 0xFF341B0F},
                                                        {1 * w + 32, 0xFF020203},
                                                        {2 * w + 62, 0xFF3F3F3F},
                                                        {2 * w + 63, 0xFF7F7F7F},
                                                        {3 * w + 62, 0xFF7F7F7F},
                                                        {3 * w + 63, 0xFFFFFFFF},
                                                    }));
    txt_FreeTexture(picture);

    // Sizes the demo never passes take the same rule.
    Texture *small = pictureOf(3, 2, {{0, 0x00000009}, {1, 0x00000007}, {2, 0x0000C800},
                                      {3, 0x00000005}, {4, 0x00030000}, {5, 0x00006400}});
    EXPECT_EQ(imgBoxBlur(small), 1);
    EXPECT_EQ(pixelsOf(small),
              (std::vector<uint32_t>{0xFF000005, 0xFF004B01, 0xFF009600, 0xFF010002, 0xFF013200, 0xFF006400}));
    txt_FreeTexture(small);

    Texture *grey = txt_CreateTexture(32, 4, BITMAP_GRAY8);
    EXPECT_EQ(imgBoxBlur(grey), 0);
    EXPECT_EQ(((uint8_t *)grey->bitmap->pixels)[0], 0);
    txt_FreeTexture(grey);
    EXPECT_EQ(imgBoxBlur(nullptr), 0);
}

TEST_F(Images, DimScalesEveryByteBy179Over256)
{
    Texture *src = pictureOf(2, 1, {{0, 0xFF800100}, {1, 0x02FE7F03}});
    Texture *dst = txt_CreateTexture(2, 1, BITMAP_RGB32);
    imgDim(src, dst);
    EXPECT_EQ(pixelsOf(dst), (std::vector<uint32_t>{0xB2590000, 0x01B15802}));
    EXPECT_EQ(pixelsOf(src), (std::vector<uint32_t>{0xFF800100, 0x02FE7F03}));
    imgDim(src, src); // in place
    EXPECT_EQ(pixelsOf(src), (std::vector<uint32_t>{0xB2590000, 0x01B15802}));

    Texture *other = pictureOf(1, 2, {{0, 0x12345678}, {1, 0x12345678}});
    imgDim(dst, other); // 2 x 1 into 1 x 2: nothing happens
    EXPECT_EQ(pixelsOf(other), (std::vector<uint32_t>{0x12345678, 0x12345678}));
    imgDim(nullptr, other);
    imgDim(other, nullptr);
    txt_FreeTexture(src);
    txt_FreeTexture(dst);
    txt_FreeTexture(other);
}

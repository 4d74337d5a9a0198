// The image layer: its list file (a temporary one with every kind of line,
// and the production's), the placement and blends of its picture, and
// hostile variables.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "data/data.h"
#include "data/pngwrite.h"
#include "effecthost.h"
#include "fx/backimage.h"
#include "fx/fx.h"
#include "host/hostvars.h"
#include "host/screen.h"
#include "render/bitmap.h"

namespace {

// A temporary asset tree holding the given list and two pictures: a.png
// (200 x 2, blue = column) and b.png (1 x 1, 0xFF3C3C3C).
std::string listTree(const std::string &list)
{
    std::string dir = testing::TempDir() + "backimage_" + testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    std::filesystem::create_directories(dir);
    uint32_t a[400], b = 0xFF3C3C3Cu;
    for (int i = 0; i < 400; i++)
        a[i] = 0xFF000000u | (uint32_t)(i % 200);
    pngWriteFile((dir + "a.png").c_str(), a, 200, 2, 200, 1);
    pngWriteFile((dir + "b.png").c_str(), &b, 1, 1, 1, 1);
    std::ofstream(dir + "broken.png") << "not a picture";
    std::ofstream(dir + "list.txt") << list;
    dataSetBasePath(dir.c_str());
    return dir;
}

uint32_t pixelOf(const ImageList &list, int index) { return *(uint32_t *)list.entries[index]->bitmap->pixels; }

void setLayer(float idx, float x, float y, float back, float front, float factor)
{
    backimage_texture_idx.value = idx, backimage_x.value = x, backimage_y.value = y;
    backimage_mode_back.value = back, backimage_mode_front.value = front, backimage_factor.value = factor;
}

} // namespace

TEST(BackImage, ListFileLines)
{
    listTree("; a comment\n\n2 a.png\n2 b.png\r\n40 a.png\n-3 a.png\nx a.png\n7 missing.png\n5 broken.png\n");
    ImageList list = {};
    testing::internal::CaptureStdout();
    ASSERT_TRUE(backimageReadList(&list, "list.txt"));
    std::string out = testing::internal::GetCapturedStdout();
    // The later index 2 wins; 40 grows the list to 51 entries; a picture that
    // does not decode still takes its index, as nothing.
    EXPECT_EQ(list.count, 41);
    EXPECT_EQ(list.capacity, 51);
    EXPECT_EQ(pixelOf(list, 2), 0xFF3C3C3Cu);
    EXPECT_EQ(pixelOf(list, 40), 0xFF000000u);
    for (int i = 0; i < 51; i++)
        EXPECT_EQ(list.entries[i] != nullptr, i == 2 || i == 40) << i;
    // The empty line, the negative index and the missing number are bad lines.
    EXPECT_NE(out.find("[backimage_load :   86]\"Wrong line syntax. Use <index> <path> (\n)\\n\"\n"), std::string::npos);
    EXPECT_NE(out.find("(-3 a.png\n)"), std::string::npos);
    EXPECT_NE(out.find("(x a.png\n)"), std::string::npos);
    EXPECT_EQ(out.find("comment"), std::string::npos);
    EXPECT_NE(out.find("[backimage_load :  103]\"File <missing.png> not found\\n\"\n"), std::string::npos);
    EXPECT_NE(out.find("IMAGE:loaded <b.png> at index 2\n"), std::string::npos);
    EXPECT_NE(out.find("IMAGE:loaded <broken.png> at index 5\n"), std::string::npos);
    backimageFreeList(&list);
}

TEST(BackImage, MissingListEndsTheRun)
{
    std::string dir = listTree("");
    std::filesystem::create_directories(dir + "empty/");
    dataSetBasePath((dir + "empty/").c_str());
    EXPECT_EXIT((dup2(2, 1), backimage_load()), testing::ExitedWithCode(10),
                "\\[backimage_load :   63\\]\"Failed to load list file <backgrounds/morla/list.txt>");
}

TEST(BackImage, PlacesAndBlends)
{
    Screen *screen = effectTestHost();
    ASSERT_TRUE(screen) << "no production tree";
    listTree("0 b.png\n3 a.png\n4 b.png\n");
    ImageList list = {};
    ASSERT_TRUE(backimageReadList(&list, "list.txt"));
    uint32_t *band = screen->buffer0 + 30 * 320;

    // x = -100 shows the columns from 100 on; 3.9 selects entry 3.
    std::fill_n(screen->buffer0, 320 * 240, 0u);
    setLayer(3.9f, -100, 5, 0, 0, 0);
    backimageDrawList(&list, screen->buffer0, 0);
    EXPECT_EQ(band[5 * 320 + 0], 0xFF000064u);
    EXPECT_EQ(band[6 * 320 + 99], 0xFF0000C7u);
    EXPECT_EQ(band[5 * 320 + 100], 0u);
    EXPECT_EQ(band[4 * 320 + 0], 0u);

    // 60 over 200 at factor 0.2 (k = 51): copy, add, subtract, alpha,
    // minus, and an unknown mode. The front uses read the front mode.
    const uint32_t blended[6] = {0xFF3C3C3Cu, 0xFFD1D1D1u, 0x00595959u, 0xD2ACACACu, 0xCC090909u, 0xC8C8C8C8u};
    for (int mode = 0; mode < 6; mode++) {
        for (int front : {0, 2}) {
            band[0] = 0xC8C8C8C8u;
            setLayer(4, 0, 0, front ? 9.0f : (float)mode, front ? (float)mode : 9.0f, 0.2f);
            backimageDrawList(&list, screen->buffer0, front);
            EXPECT_EQ(band[0], blended[mode]) << "mode " << mode << " front " << front;
        }
    }

    // Indices without a picture draw nothing: -0.5 is entry -1 (floor), not 0.
    for (float idx : {-0.5f, 1.0f, 5.0f, 1e9f, NAN, -INFINITY}) {
        band[0] = 0x12345678u;
        setLayer(idx, 0, 0, 0, 0, 0.2f);
        backimageDrawList(&list, screen->buffer0, 0);
        EXPECT_EQ(band[0], 0x12345678u) << idx;
    }
    backimageFreeList(&list);
}

TEST(BackImage, ProductionListUnderHostileVariables)
{
    Screen *screen = effectTestHost();
    ASSERT_TRUE(screen) << "no production tree";
    dataSetBasePath((effectTestTree() + "/").c_str());
    backimage_load();
    ASSERT_EQ(backimageList()->count, 6);
    for (int i = 0; i < 6; i++)
        EXPECT_TRUE(backimageList()->entries[i]) << i;
    // Every variable in turn takes each value; the guard rows stay as they are.
    std::fill_n(screen->block0, 320 * 304, 0x5A5A5A5Au);
    const float hostile[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 2147483648.0f, -2147483648.0f, -1.0f, 5.99f, 700.0f, -700.0f};
    float *vars[6] = {&backimage_texture_idx.value, &backimage_x.value, &backimage_y.value,
                      &backimage_mode_back.value, &backimage_mode_front.value, &backimage_factor.value};
    for (int v = 0; v < 6; v++) {
        for (float value : hostile) {
            for (int mode = 0; mode < 5; mode++) {
                setLayer(2, -50, -20, (float)mode, (float)mode, 0.7f);
                *vars[v] = value;
                backimage_draw(screen->buffer0, 0);
                backimage_draw(screen->buffer0, 2);
            }
        }
    }
    for (int i = 0; i < 320 * 32; i++)
        ASSERT_TRUE(screen->block0[i] == 0x5A5A5A5Au && screen->block0[320 * 304 - 1 - i] == 0x5A5A5A5Au) << i;
}

// The image layer: a list with every kind of line, the missing list, placement, blends and indices
// without a picture. Every variable at NaN, infinities and huge values: test_hostile.cpp.

#include <fstream>

#include "data/data.h"
#include "data/pngwrite.h"
#include "effecthost.h"
#include "fx/backimage.h"
#include "host/screen.h"

// Base path: a temporary tree with the list, a.png (200 x 2, blue = column) and b.png (1 x 1, 0xFF3C3C3C).
static void listTree(const std::string &list)
{
    std::string dir = testing::TempDir() + testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    std::filesystem::create_directories(dir + "backgrounds/morla");
    uint32_t a[400], b = 0xFF3C3C3Cu;
    for (int i = 0; i < 400; i++)
        a[i] = 0xFF000000u | (uint32_t)(i % 200);
    pngWriteFile((dir + "a.png").c_str(), a, 200, 2, 200, 1);
    pngWriteFile((dir + "b.png").c_str(), &b, 1, 1, 1, 1);
    std::ofstream(dir + "backgrounds/morla/list.txt") << list;
    dataSetBasePath(dir.c_str());
}

static void setLayer(float idx, float x, float back, float front)
{
    backimage_texture_idx.value = idx, backimage_x.value = x, backimage_y.value = 5;
    backimage_mode_back.value = back, backimage_mode_front.value = front, backimage_factor.value = 0.2f;
}

TEST(BackImage, ListFile)
{
    listTree("; a comment\n\n2 a.png\n2 b.png\r\n40 a.png\n-3 a.png\nx a.png\n7 missing.png\n5 backgrounds/morla/list.txt\n");
    std::string out = captured(backimage_load);
    // The later 2 wins; 40 grows the list to 51 entries; what is no picture takes its index as nothing.
    const ImageList *list = backimageList();
    EXPECT_EQ(list->count, 41);
    ASSERT_EQ(list->capacity, 51);
    for (int i = 0; i < 51; i++)
        EXPECT_EQ(list->entries[i] != nullptr, i == 2 || i == 40) << "entry " << i;
    EXPECT_EQ(list->entries[2] ? *(uint32_t *)list->entries[2]->bitmap->pixels : 0u, 0xFF3C3C3Cu) << "the later 2 wins";
    // The empty line, the negative index and the missing number are bad lines; the comment is silent.
    // Each message is tagged "load" with its fixed line, and a newline follows it.
    for (const char *line : {"(\n)\\n\"\n\n", "(-3 a.png\n)\\n\"\n\n", "(x a.png\n)\\n\"\n\n"})
        EXPECT_NE(out.find(std::string("[load :   86]\"Wrong line syntax. Use <index> <path> ") + line), out.npos) << out;
    EXPECT_EQ(out.find("comment"), out.npos);
    EXPECT_NE(out.find("[load :  103]\"File <missing.png> not found\\n\"\n\n"), out.npos);
    EXPECT_EXIT((dataSetBasePath("/nonexistent/"), dup2(2, 1), backimage_load()), testing::ExitedWithCode(10),
                "\\[load :   63\\]\"Failed to load list file <backgrounds/morla/list.txt>\\\\n\"\n\n$");
}

TEST(BackImage, PlacesBlendsAndDrawsNothingForEmptyIndices)
{
    Screen *screen = effectTestHost();
    ASSERT_NE(screen, nullptr) << "no production tree";
    listTree("0 b.png\n3 a.png\n4 b.png\n");
    backimage_load();
    uint32_t *row = screen->buffer0 + 35 * 320; // band row 5
    // x = -100 shows the columns from 100 on; 3.9 selects entry 3.
    std::fill_n(screen->buffer0, 320 * 240, 0u);
    setLayer(3.9f, -100, 0, 0);
    backimage_draw(screen->buffer0, 0);
    EXPECT_EQ(row[0], 0xFF000064u);
    EXPECT_EQ(row[320 + 99], 0xFF0000C7u);
    EXPECT_EQ(row[100], 0u);
    EXPECT_EQ(row[-320], 0u);
    // 60 over 200, k = 51: copy, add, subtract, alpha, minus, unknown; the same by the front mode;
    // then indices without a picture draw nothing: -0.5 is entry -1 (floor), not 0.
    const uint32_t blended[6] = {0xFF3C3C3Cu, 0xFFD1D1D1u, 0x00595959u, 0xD2ACACACu, 0xCC090909u, 0xC8C8C8C8u};
    const float empty[6] = {-0.5f, 1.0f, 5.0f, 1e9f, NAN, -INFINITY};
    for (int i = 0; i < 18; i++) {
        row[0] = 0xC8C8C8C8u;
        setLayer(i < 12 ? 4 : empty[i - 12], 0, i < 6 ? i : 9, i < 6 ? 9 : i % 6);
        backimage_draw(screen->buffer0, i < 6 ? 0 : 2);
        EXPECT_EQ(row[0], blended[i < 12 ? i % 6 : 5]) << "case " << i;
    }
}

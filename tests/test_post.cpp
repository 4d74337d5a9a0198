// Post-chain passes over the picture.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "post/post.h"
#include "render/bitmap.h"

TEST(Brightness, DarkensByLevelOver256AndBrightensTowardWhite)
{
    struct Case {
        int32_t level;
        uint8_t in, out;
    } cases[] = {
        {255, 200, 200}, {128, 201, 100}, {128, 255, 127}, {0, 255, 0},     {256, 37, 37},
        {510, 0, 254},   {510, 2, 255},   {300, 10, 54},   {-5, 255, 0},   {INT32_MIN, 255, 0},
        {INT32_MAX, 0, 255},
    };
    for (const Case &c : cases) {
        std::vector<uint32_t> picture(FRAME_WIDTH * PICTURE_ROWS, c.in * 0x01010101u);
        postBrightness(picture.data(), c.level);
        // Every byte, the fourth included, and every pixel alike.
        EXPECT_EQ(picture.front(), c.out * 0x01010101u) << "level " << c.level << " byte " << (int)c.in;
        EXPECT_EQ(picture.back(), c.out * 0x01010101u) << "level " << c.level;
    }
}

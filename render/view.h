// The render view: where and how the 3D renderer draws into a frame.
#pragma once

#include <cstdint>

#include "render/bitmap.h"

struct RenderView {
    int32_t width;       // 320; projection centre at width / 2
    int32_t height;      // 240; projection centre at height / 2
    uint32_t *target;    // frame being drawn, set by every scene render
    Bitmap *pointSprite; // 10 x 10 grey dot
    float nearZ;         // near clipping distance in camera space
    int32_t clipX0;      // 0
    int32_t clipY0;      // -1, top clip line
    int32_t clipX1;      // 320
    int32_t clipY1;      // 239, bottom clip line
};

RenderView *rnd_CreateView(void);
void rnd_MakePointSprite(RenderView *view);

// Creation of the render view and its point sprite.
#include "render/view.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "render/project.h" // Required for: rnd_SetProjection()

RenderView *rnd_CreateView(void)
{
    RenderView *view = (RenderView *)calloc(1, sizeof(RenderView));
    if (!view)
        return nullptr;
    view->width = FRAME_WIDTH;
    view->height = FRAME_HEIGHT;
    view->nearZ = 0.0f;
    view->clipX0 = 0;
    view->clipY0 = -1;
    view->clipX1 = FRAME_WIDTH;
    view->clipY1 = FRAME_HEIGHT - 1;
    // The renderer's clipping state, as a scene render through this view with
    // near distance 10 would install it: near plane, clip lines, line rectangle.
    RenderView setup = *view;
    setup.nearZ = 10.0f;
    rnd_SetProjection(&setup, nullptr);
    return view;
}

void rnd_MakePointSprite(RenderView *view)
{
    Bitmap *sprite = (Bitmap *)calloc(1, sizeof(Bitmap));
    if (!sprite)
        return;
    sprite->width = 10;
    sprite->height = 10;
    sprite->format = BITMAP_GRAY8;
    uint8_t *pixels = (uint8_t *)calloc(100, 1);
    sprite->pixels = pixels;
    if (pixels) {
        for (int y = 0; y < 10; y++) {
            for (int x = 0; x < 10; x++) {
                float d = std::sqrt((float)((x - 5) * (x - 5) + (y - 5) * (y - 5)));
                if (d < 6.0f) {
                    float t = (6.0f - d) * (1.0f / 6.0f);
                    pixels[y * 10 + x] = (uint8_t)(255.0f * (t * t * t * t));
                }
            }
        }
    }
    view->pointSprite = sprite;
    printf("%d,%d\n", sprite->width, sprite->height);
}

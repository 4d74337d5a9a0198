// Placeholder: the rasteriser lands with its own change.
#include "render/raster.h"

float *recip256;
float *recip65536;

void rnd_SetTarget(uint32_t *) {}
void rnd_SetClipLines(int32_t, int32_t) {}
void rnd_DrawFace(Face *) {}
void clipPolyFull(Face *) {}
void clipPolyDepth(Face *) {}
void clipPolyTex(Face *) {}
void tri_Flat(Vertex *, Vertex *, Vertex *, Material *, uint32_t) {}
void tri_Gouraud(Vertex *, Vertex *, Vertex *, Material *, uint32_t) {}
void tri_Textured(Vertex *, Vertex *, Vertex *, Material *, uint32_t) {}
void tri_EdgeAccumulate(Vertex *, Vertex *, Vertex *, Material *, uint32_t) {}
void line_Draw2D(uint32_t *, const float *, const float *, uint32_t) {}
void line_DrawAA(uint32_t *, int, int32_t, int32_t, int32_t, int32_t, uint32_t) {}

void rnd_ModeSlots(int mode, ClipFillFn *clipFill, TriFillFn *triFill)
{
    switch (mode) {
    case MODE_TEXTURED: *clipFill = clipPolyTex; *triFill = tri_Textured; break;
    case MODE_GOURAUD: *clipFill = clipPolyFull; *triFill = tri_Gouraud; break;
    case MODE_FLAT: *clipFill = clipPolyDepth; *triFill = tri_Flat; break;
    case MODE_NONE: *clipFill = clipPolyDepth; *triFill = nullptr; break;
    case MODE_EDGES: *clipFill = clipPolyDepth; *triFill = tri_EdgeAccumulate; break;
    default: *clipFill = clipPolyFull; *triFill = tri_Flat; break;
    }
}

// The voronoi mosaic's inner parts, for its tests and benchmarks; the host
// only needs envtest_setup and envtest_render from fx/fx.h.
#pragma once

#include <cstdint>

enum {
    ENVTEST_CELL_FRAMES = 16,   // one loop of the mosaic's animation
    ENVTEST_JITTER_SIZE = 1024, // feature-point jitter, indexed by a 10-bit cell hash
    ENVTEST_REDUCED_WIDTH = 80, // one reduced pixel per 4 x 4 block of the frame
    ENVTEST_REDUCED_HEIGHT = 60,
};

// Cell frame entry: bit 0 border, bits 1..7 cell row, bits 8..15 cell column.
enum {
    ENVTEST_BORDER_BIT = 1,
    ENVTEST_ROW_SHIFT = 1,
    ENVTEST_ROW_MASK = 127,
    ENVTEST_COLUMN_SHIFT = 8,
};

// The nearest feature point's cell at (x, y) in cell units, at time t:
// 0xFF000000 | column << 16 | row << 8, column and row at least 0.
// Reads the jitter table that envtest_setup fills.
uint32_t envtestCellOf(float x, float y, float t);
// Builds one 320 x 240 cell frame of entries at time t.
void envtestBuildCellFrame(uint16_t *entries, float t);
// The cell frame the mosaic shows at time t, 0..15 for any t.
int envtestFrameIndex(float t);

// What the mosaic does to a frame the object layer has drawn: reduces it,
// copies the reduced picture to the top-left corner and, unless a mouse
// button is held, paints the mosaic of time t over the whole frame.
void envtestPaint(uint32_t *pixels, float t, int32_t mouseButtons);

// Cell frame k (320 x 240 entries) as envtest_setup built it.
const uint16_t *envtestCellFrame(int k);

// Start-up work spread over every core: the pieces are independent, so the
// result is the same bits as a one-thread run whatever the core count.
#pragma once

// Runs body(i, context) for i = 0 .. count-1 on all available cores and
// returns when every piece is done. Pieces must not share mutable state.
void parallelFor(int count, void (*body)(int i, void *context), void *context);

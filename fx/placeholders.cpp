// Effects that have not landed yet: they register nothing and draw nothing.
// Each effect's own unit replaces its entries here.
#include "fx/fx.h"

void voxel_setup(void) {}
void voxel_render(uint32_t *, float) {}
void simpletunnel_setup(void) {}
void simpletunnel_render(uint32_t *) {}

const TrackedVars simpletunnel_tracked = {nullptr, 0};
const TrackedVars voxel_tracked = {nullptr, 0};

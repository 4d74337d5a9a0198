// Effects that have not landed yet: they register nothing and draw nothing.
// Each effect's own unit replaces its entries here.
#include "fx/fx.h"

void greets_setup(void) {}
void greets_render(uint32_t *, float) {}

const TrackedVars greets_tracked = {nullptr, 0};

// Effects that have not landed yet: they register nothing and draw nothing.
// Each effect's own unit replaces its entries here.
#include "fx/fx.h"

void curl_setup(void) { engtest_setup(); } // the curl particles draw over the object layer
void curl_render(uint32_t *, float) {}
void envtest_setup(void) {}
void envtest_render(uint32_t *, float) {}
void intro_setup(void) {}
void intro_render(uint32_t *, float) {}
void intro_enableTimeCopy(void) {}
void fishtest1_setup(void) {}
void fishtest1_render(uint32_t *, float) {}
void particles_setup(void) {}
void particles_render(uint32_t *, float) {}
void greets_setup(void) {}
void greets_render(uint32_t *, float) {}
void backimage_load(void) {}
void backimage_draw(uint32_t *, int) {}

const TrackedVars intro_tracked = {nullptr, 0};
const TrackedVars fishtest_tracked = {nullptr, 0};
const TrackedVars greets_tracked = {nullptr, 0};
const TrackedVars curl_tracked = {nullptr, 0};
const TrackedVars particles_tracked = {nullptr, 0};

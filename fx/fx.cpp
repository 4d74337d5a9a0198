// The effect table: every effect once, and the three orders the host walks it
// in (setup, fx_idx, track binding).
#include "fx/fx.h"

const Effect fxEffects[FX_EFFECTS] = {
    // name, setup, render, variables, tracked, setup phase, after binding, carry, carried
    {"voxel", voxel_setup, voxel_render, &voxel_vars, &voxel_tracked, STARTUP_OBJECTS, nullptr, voxel_carry, nullptr},
    {"curl", curl_setup, curl_render, &curl_vars, &curl_tracked, STARTUP_TABLES, nullptr, curl_carry, curl_carried},
    {"fish", fishtest1_setup, fishtest1_render, &fishtest_vars, &fishtest_tracked, STARTUP_OBJECTS, nullptr,
     fishtest_carry, nullptr},
    {"voronoi", envtest_setup, envtest_render, &envtest_vars, &envtest_tracked, STARTUP_TABLES, nullptr, envtest_carry,
     nullptr},
    {"intro", intro_setup, intro_render, &intro_vars, &intro_tracked, STARTUP_OBJECTS, intro_enableTimeCopy,
     intro_carry, nullptr},
    {"particles", particles_setup, particles_render, &particles_vars, &particles_tracked, STARTUP_OBJECTS, nullptr,
     particles_carry, particles_carried},
    {"tunnel", simpletunnel_setup, simpletunnel_render, &simpletunnel_vars, &simpletunnel_tracked, STARTUP_TABLES,
     nullptr, simpletunnel_carry, nullptr},
    {"image layer", backimage_setup, nullptr, &backimage_vars, &backimage_tracked, STARTUP_TABLES, nullptr, nullptr,
     nullptr},
    {"greets", greets_setup, greets_render, &greets_vars, &greets_tracked, STARTUP_TABLES, nullptr, greets_carry,
     nullptr},
    {"object layer", nullptr, engtest_render, &engtest_vars, &engtest_tracked, STARTUP_OBJECTS, nullptr, nullptr,
     nullptr},
};

// The voxel landscape, the curl particles and the voronoi mosaic set up the
// object layer they draw on; the greets set up the fish test they draw over.
const int fxSetupOrder[FX_SETUPS] = {FX_VOXEL,     FX_CURL,   FX_FISH,        FX_VORONOI, FX_INTRO,
                                     FX_PARTICLES, FX_TUNNEL, FX_IMAGE_LAYER, FX_GREETS};

const int fxForegroundOrder[FX_FOREGROUNDS] = {FX_CURL, FX_VORONOI, FX_INTRO, FX_VOXEL,
                                               FX_FISH, FX_PARTICLES, FX_GREETS};

const int fxBindingOrder[FX_BINDINGS] = {FX_IMAGE_LAYER, FX_INTRO,  FX_FISH,  FX_OBJECT_LAYER, FX_GREETS,
                                         FX_CURL,        FX_TUNNEL, FX_VOXEL, FX_PARTICLES};

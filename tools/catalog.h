// The catalog of the production's console variables: every variable the
// engine registers, its kind, the variable file it belongs to and whether
// sync tracks drive it. The production builder checks the authored files and
// timeline against it; the registration tests check the engine's records.
// !!! when a module adds, renames or re-kinds a variable, change it here too !!!
#pragma once

#include <cstddef>
#include <cstring>

#include "cvar/cvarformat.h" // Required for: CVAR_FLOAT, CVAR_COLOR, CVAR_VEC3

struct CvarCatalogEntry {
    const char *name;
    int kind;         // CVAR_FLOAT, CVAR_COLOR or CVAR_VEC3
    const char *file; // the ".vars" file meant to hold it; null: written into the first file
    bool tracked;     // driven by sync tracks
};

// In the order of the variable files, then the variables without a file.
inline constexpr CvarCatalogEntry cvarCatalog[] = {
    {"voxel_movement_radius", CVAR_FLOAT, "voxel.vars", false},
    {"voxel_displacement_scale", CVAR_FLOAT, "voxel.vars", true},
    {"voxel_baseblur", CVAR_FLOAT, "voxel.vars", true},
    {"voxel_sample_scale", CVAR_FLOAT, "voxel.vars", true},

    {"curl_motionnoisescale", CVAR_FLOAT, "curl.vars", false},
    {"curl_motionnoisetime", CVAR_FLOAT, "curl.vars", false},
    {"curl_motionnoisetween", CVAR_FLOAT, "curl.vars", false},
    {"curl_motionnoisebase", CVAR_FLOAT, "curl.vars", false},
    {"curl_motionstrength", CVAR_FLOAT, "curl.vars", true},
    {"curl_motionmaxvelo", CVAR_FLOAT, "curl.vars", false},
    {"curl_lifedecay", CVAR_FLOAT, "curl.vars", false},
    {"curl_spawnrate", CVAR_FLOAT, "curl.vars", true},
    {"curl_zoom", CVAR_FLOAT, "curl.vars", false},
    {"curl_particlelimit", CVAR_FLOAT, "curl.vars", false},
    {"curl_particleperframe", CVAR_FLOAT, "curl.vars", false},

    {"fishtest_boxcolor", CVAR_COLOR, "fishtest1.vars", false},
    {"fishtest_flashcolor1", CVAR_COLOR, "fishtest1.vars", false},
    {"fishtest_flashcolor2", CVAR_COLOR, "fishtest1.vars", false},
    {"fishtest_zoom", CVAR_FLOAT, "fishtest1.vars", true},
    {"fishtest_fish", CVAR_FLOAT, "fishtest1.vars", true},
    {"fishtest_cameradist", CVAR_FLOAT, "fishtest1.vars", true},
    {"fishtest_motionrange", CVAR_FLOAT, "fishtest1.vars", true},
    {"fishtest_anglerange", CVAR_FLOAT, "fishtest1.vars", true},
    {"fishtest_motionspeed", CVAR_FLOAT, "fishtest1.vars", true},
    {"fishtest_anglespeed", CVAR_FLOAT, "fishtest1.vars", true},
    {"fishtest_textureidx", CVAR_FLOAT, "fishtest1.vars", true},
    {"fishtest_flashidx", CVAR_FLOAT, "fishtest1.vars", true},

    {"voronoi_scale", CVAR_FLOAT, "envtest.vars", false},
    {"voronoi_shift", CVAR_FLOAT, "envtest.vars", false},
    {"voronob_blend", CVAR_FLOAT, "envtest.vars", false},
    {"voronoi_brightness", CVAR_FLOAT, "envtest.vars", false},

    {"intro_diffuse", CVAR_COLOR, "intro.vars", false},
    {"intro_shadecolor", CVAR_COLOR, "intro.vars", false},
    {"intro_zoom", CVAR_FLOAT, "intro.vars", true},
    {"intro_time", CVAR_FLOAT, "intro.vars", false},
    {"intro_shading_stripe1", CVAR_FLOAT, "intro.vars", true},
    {"intro_shading_stripe2", CVAR_FLOAT, "intro.vars", true},
    {"intro_shading_stripewidth", CVAR_FLOAT, "intro.vars", false},
    {"intro_spread", CVAR_FLOAT, "intro.vars", true},
    {"intro_angle_x", CVAR_FLOAT, "intro.vars", true},
    {"intro_angle_y", CVAR_FLOAT, "intro.vars", true},

    {"particle_elevation", CVAR_FLOAT, "particles.vars", true},
    {"particle_zoom", CVAR_FLOAT, "particles.vars", true},
    {"particle_shading_period", CVAR_FLOAT, "particles.vars", false},
    {"particle_shading_stripe1", CVAR_FLOAT, "particles.vars", false},
    {"particle_shading_stripe2", CVAR_FLOAT, "particles.vars", false},
    {"particle_shading_stripesize", CVAR_FLOAT, "particles.vars", false},

    {"simpletunnel_texture_idx", CVAR_FLOAT, "simpletunnel.vars", true},
    {"simpletunnel_angle", CVAR_FLOAT, "simpletunnel.vars", true},
    {"simpletunnel_shift", CVAR_FLOAT, "simpletunnel.vars", true},
    {"simpletunnel_split_period", CVAR_FLOAT, "simpletunnel.vars", false},
    {"simpletunnel_perspective", CVAR_FLOAT, "simpletunnel.vars", false},
    {"simpletunnel_color", CVAR_COLOR, "simpletunnel.vars", false},

    {"backimage_texture_idx", CVAR_FLOAT, "backimage.vars", true},
    {"backimage_x", CVAR_FLOAT, "backimage.vars", true},
    {"backimage_y", CVAR_FLOAT, "backimage.vars", true},
    {"backimage_mode_back", CVAR_FLOAT, "backimage.vars", true},
    {"backimage_mode_front", CVAR_FLOAT, "backimage.vars", true},
    {"backimage_factor", CVAR_FLOAT, "backimage.vars", true},

    {"greets_idx", CVAR_FLOAT, "greets.vars", true},

    {"post_brightnedd", CVAR_FLOAT, "post.vars", true},
    {"background_mode", CVAR_FLOAT, "post.vars", true},
    {"foreground_mode", CVAR_FLOAT, "post.vars", true},
    {"post_edgedetect", CVAR_FLOAT, "post.vars", true},
    {"post_edgedetect_factor", CVAR_FLOAT, "post.vars", true},
    {"post_edgedetect_additive", CVAR_FLOAT, "post.vars", true},
    {"post_aberration", CVAR_FLOAT, "post.vars", true},
    {"post_aberration_offset", CVAR_FLOAT, "post.vars", true},
    {"post_aberration_blur", CVAR_FLOAT, "post.vars", true},
    {"post_glow", CVAR_FLOAT, "post.vars", true},
    {"post_glow_blur_h", CVAR_FLOAT, "post.vars", true},
    {"post_glow_blur_v", CVAR_FLOAT, "post.vars", true},
    {"post_glow_lens", CVAR_FLOAT, "post.vars", true},
    {"post_glow_strength", CVAR_FLOAT, "post.vars", true},
    {"post_glow_color", CVAR_COLOR, "post.vars", true},
    {"post_glow_threshold", CVAR_COLOR, "post.vars", true},
    {"post_glitch_index", CVAR_FLOAT, "post.vars", false},
    {"post_glitch_brightness", CVAR_FLOAT, "post.vars", false},
    {"post_glitch_xstrength", CVAR_FLOAT, "post.vars", true},
    {"post_glitch_ystrength", CVAR_FLOAT, "post.vars", true},
    {"post_blur_h", CVAR_FLOAT, "post.vars", true},
    {"post_blur_v", CVAR_FLOAT, "post.vars", true},
    {"fx_idx", CVAR_FLOAT, "post.vars", true},
    {"fx_time", CVAR_FLOAT, "post.vars", true},

    {"env_fps", CVAR_FLOAT, nullptr, false},
    {"env_timer", CVAR_FLOAT, nullptr, false},
    {"env_wait", CVAR_FLOAT, nullptr, false},
    {"env_interval", CVAR_FLOAT, nullptr, false},
    {"env_console_lines", CVAR_FLOAT, nullptr, false},
    {"engtest_diffuse", CVAR_COLOR, nullptr, true},
    {"engtest_zoom", CVAR_FLOAT, nullptr, true},
    {"engtest_camera", CVAR_VEC3, nullptr, true},
    {"engtest_objectidx", CVAR_FLOAT, nullptr, true},
    {"engtest_shading_primary", CVAR_COLOR, nullptr, true},
    {"engtest_shading_secondary", CVAR_COLOR, nullptr, true},
};

inline constexpr size_t cvarCatalogSize = sizeof cvarCatalog / sizeof cvarCatalog[0];

// The variable files in the order the engine queues them.
inline constexpr const char *cvarCatalogFiles[] = {
    "voxel.vars", "curl.vars",   "fishtest1.vars", "envtest.vars", "intro.vars",
    "particles.vars", "simpletunnel.vars", "backimage.vars", "greets.vars", "post.vars",
};

inline const CvarCatalogEntry *cvarCatalogFind(const char *name)
{
    for (const CvarCatalogEntry &entry : cvarCatalog) {
        if (strcmp(entry.name, name) == 0)
            return &entry;
    }
    return nullptr;
}

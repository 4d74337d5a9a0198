// The host's console variables: environment settings, the image-layer
// placement, and the selection and post-processing switches that tracks drive.
#pragma once

#include "cvar/cvar.h"

// Group 1, registered before the display exists.
extern Cvar env_fps, env_timer, env_wait, env_interval, env_console_lines;

// Group 2, registered after the effect setups.
extern Cvar backimage_texture_idx, backimage_x, backimage_y, backimage_mode_back, backimage_mode_front,
    backimage_factor;

// Group 3, registered after the image list is loaded.
extern Cvar post_brightnedd, background_mode, foreground_mode, post_edgedetect, post_edgedetect_factor,
    post_edgedetect_additive, post_aberration, post_aberration_offset, post_aberration_blur, post_glow,
    post_glow_blur_h, post_glow_blur_v, post_glow_lens, post_glow_strength, post_glow_color,
    post_glow_threshold, post_glitch_index, post_glitch_brightness, post_glitch_xstrength,
    post_glitch_ystrength, post_blur_h, post_blur_v, fx_idx, fx_time;

void hostRegisterGroup1(void);
void hostRegisterGroup2(void);
void hostRegisterGroup3(void);

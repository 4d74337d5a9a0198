// Records and registration order of the host's console variables.
#include "host/hostvars.h"

#include "post/post.h"

Cvar env_fps = cvarDefine("env_fps", "0", 0, 0);
Cvar env_timer = cvarDefine("env_timer", "0", 0, 0);
Cvar env_wait = cvarDefine("env_wait", "0", 0, 0);
Cvar env_interval = cvarDefine("env_interval", "1", 0, 0);
Cvar env_console_lines = cvarDefine("env_console_lines", "15", 0, 0);

Cvar background_mode = cvarDefine("background_mode", "0", 0, 3);
Cvar foreground_mode = cvarDefine("foreground_mode", "0", 0, 4);
Cvar fx_idx = cvarDefine("fx_idx", "0", 0, 6);
Cvar fx_time = cvarDefine("fx_time", "0", 0, 180);

static Cvar *const hostGroup1Vars[] = {&env_fps, &env_timer, &env_wait, &env_interval, &env_console_lines};
static Cvar *const hostGroup3Vars[] = {
    &post_brightnedd, &background_mode, &foreground_mode, &post_edgedetect, &post_edgedetect_factor,
    &post_edgedetect_additive, &post_aberration, &post_aberration_offset, &post_aberration_blur,
    &post_glow, &post_glow_blur_h, &post_glow_blur_v, &post_glow_lens, &post_glow_strength,
    &post_glow_color, &post_glow_threshold, &post_glitch_index, &post_glitch_brightness,
    &post_glitch_xstrength, &post_glitch_ystrength, &post_blur_h, &post_blur_v, &fx_idx, &fx_time};
const CvarList hostGroup1 = cvarListOf(hostGroup1Vars);
const CvarList hostGroup3 = cvarListOf(hostGroup3Vars);

void hostRegisterGroup1(void)
{
    CvarRegisterList(&hostGroup1);
}

void hostRegisterGroup3(void)
{
    CvarRegisterList(&hostGroup3);
}

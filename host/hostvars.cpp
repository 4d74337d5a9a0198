// Records and registration order of the host's console variables.
#include "host/hostvars.h"

#include <cstddef>

Cvar env_fps = cvarDefine("env_fps", "0", 0, 0);
Cvar env_timer = cvarDefine("env_timer", "0", 0, 0);
Cvar env_wait = cvarDefine("env_wait", "0", 0, 0);
Cvar env_interval = cvarDefine("env_interval", "1", 0, 0);
Cvar env_console_lines = cvarDefine("env_console_lines", "15", 0, 0);

Cvar backimage_texture_idx = cvarDefine("backimage_texture_idx", "0", 0, 64);
Cvar backimage_x = cvarDefine("backimage_x", "0", -1024, 1024);
Cvar backimage_y = cvarDefine("backimage_y", "0", -512, 512);
Cvar backimage_mode_back = cvarDefine("backimage_mode_back", "0", 0, 4);
Cvar backimage_mode_front = cvarDefine("backimage_mode_front", "0", 0, 4);
Cvar backimage_factor = cvarDefine("backimage_factor", "0", 0, 1);

Cvar post_brightnedd = cvarDefine("post_brightnedd", "1", 0, 2);
Cvar background_mode = cvarDefine("background_mode", "0", 0, 3);
Cvar foreground_mode = cvarDefine("foreground_mode", "0", 0, 4);
Cvar post_edgedetect = cvarDefine("post_edgedetect", "0", 0, 1);
Cvar post_edgedetect_factor = cvarDefine("post_edgedetect_factor", "0", 0, 5);
Cvar post_edgedetect_additive = cvarDefine("post_edgedetect_additive", "0", 0, 1);
Cvar post_aberration = cvarDefine("post_aberration", "0", 0, 1);
Cvar post_aberration_offset = cvarDefine("post_aberration_offset", "100", 0, 1000);
Cvar post_aberration_blur = cvarDefine("post_aberration_blur", "0", 0, 255);
Cvar post_glow = cvarDefine("post_glow", "0", 0, 1);
Cvar post_glow_blur_h = cvarDefine("post_glow_blur_h", "0", 0, 255);
Cvar post_glow_blur_v = cvarDefine("post_glow_blur_v", "0", 0, 255);
Cvar post_glow_lens = cvarDefine("post_glow_lens", "0", 0, 1);
Cvar post_glow_strength = cvarDefine("post_glow_strength", "0", 0, 10);
Cvar post_glow_color = cvarDefine("post_glow_color", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1);
Cvar post_glow_threshold = cvarDefine("post_glow_threshold", "0 0 0 0", 0, 0, CVAR_COLOR, 0, 0, 0, 0);
Cvar post_glitch_index = cvarDefine("post_glitch_index", "0", 0, 99);
Cvar post_glitch_brightness = cvarDefine("post_glitch_brightness", "0", 0, 512);
Cvar post_glitch_xstrength = cvarDefine("post_glitch_xstrength", "0", 0, 32);
Cvar post_glitch_ystrength = cvarDefine("post_glitch_ystrength", "0", 0, 32);
Cvar post_blur_h = cvarDefine("post_blur_h", "0", 0, 255);
Cvar post_blur_v = cvarDefine("post_blur_v", "0", 0, 255);
Cvar fx_idx = cvarDefine("fx_idx", "0", 0, 6);
Cvar fx_time = cvarDefine("fx_time", "0", 0, 180);

template <size_t N> static void registerAll(Cvar *const (&group)[N])
{
    for (Cvar *cvar : group)
        CvarRegister(cvar);
}

void hostRegisterGroup1(void)
{
    static Cvar *const group[] = {&env_fps, &env_timer, &env_wait, &env_interval, &env_console_lines};
    registerAll(group);
}

void hostRegisterGroup2(void)
{
    static Cvar *const group[] = {&backimage_texture_idx, &backimage_x, &backimage_y,
                                  &backimage_mode_back, &backimage_mode_front, &backimage_factor};
    registerAll(group);
}

void hostRegisterGroup3(void)
{
    static Cvar *const group[] = {
        &post_brightnedd, &background_mode, &foreground_mode, &post_edgedetect, &post_edgedetect_factor,
        &post_edgedetect_additive, &post_aberration, &post_aberration_offset, &post_aberration_blur,
        &post_glow, &post_glow_blur_h, &post_glow_blur_v, &post_glow_lens, &post_glow_strength,
        &post_glow_color, &post_glow_threshold, &post_glitch_index, &post_glitch_brightness,
        &post_glitch_xstrength, &post_glitch_ystrength, &post_blur_h, &post_blur_v, &fx_idx, &fx_time};
    registerAll(group);
}

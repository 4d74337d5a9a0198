// The host's console variables: environment settings and the selection
// switches that tracks drive, and the registration order of the host's
// groups (the third mixes them with the post chain's variables).
#pragma once

#include "cvar/cvar.h"

// Group 1, registered before the display exists.
extern Cvar env_fps, env_timer, env_wait, env_interval, env_console_lines;

// In group 3, with the post chain's variables.
extern Cvar background_mode, foreground_mode, fx_idx, fx_time;

// The two groups in registration order.
extern const CvarList hostGroup1, hostGroup3;

void hostRegisterGroup1(void);
void hostRegisterGroup3(void);

// Console variables as the production builder writes them: the kinds of
// value and the longest line a variable file may hold.
#pragma once

enum {
    CVAR_FLOAT = 0, // one value
    CVAR_COLOR = 4, // vec = r, g, b, a
    CVAR_VEC3 = 5,  // vec = x, y, z, w
};

enum { CVAR_LINE_MAX = 256 }; // longer lines are cut and read on as the next line

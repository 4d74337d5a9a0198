// Console variables: the registry of named tuning values that files, the
// console and the sync tracks write and that their owners read every frame.
#pragma once

#include <cstdint>

#include "cvar/cvarformat.h" // Required for: CVAR_FLOAT, CVAR_COLOR, CVAR_VEC3

struct SyncTrack;

enum { CVAR_TRACK_NAME = 64 };

// One variable. Owners declare it statically with name, default text, range,
// kind and initial vec; everything else starts zero.
struct Cvar {
    const char *name;
    const char *text;        // default text (a constant) until registered, then an owned heap copy
    float min;               // slider range for an editor; nothing else reads it
    float max;
    int32_t kind;            // CVAR_FLOAT, CVAR_COLOR or CVAR_VEC3
    void (*onChange)(void);  // called after every assignment by name, when set
    float vec[4];            // colour or vector components
    float value;             // text as a number; what CVAR_FLOAT owners read
    Cvar *next;              // toward older registrations
    char **source;           // slot of the variable file last read for it, or null
    SyncTrack *tracks[3];    // tracks driving it, null when unbound
    char trackNames[3][CVAR_TRACK_NAME];
};

// A record as its owner declares it: name, default text, slider range, kind
// and initial components; everything else zero.
constexpr Cvar cvarDefine(const char *name, const char *text, float min, float max, int32_t kind = CVAR_FLOAT,
                          float x = 0.0f, float y = 0.0f, float z = 0.0f, float w = 0.0f)
{
    Cvar cvar{};
    cvar.name = name;
    cvar.text = text;
    cvar.min = min;
    cvar.max = max;
    cvar.kind = kind;
    cvar.vec[0] = x;
    cvar.vec[1] = y;
    cvar.vec[2] = z;
    cvar.vec[3] = w;
    return cvar;
}

// Newest registration first; the list order is the order of listings,
// completion and write-back.
extern Cvar *cvarList;

// Variables in a fixed order: what an owner registers, or binds to tracks.
struct CvarList {
    Cvar *const *vars;
    int32_t count;
};
template <int N> constexpr CvarList cvarListOf(Cvar *const (&vars)[N])
{
    return {vars, N};
}

// ---------------------------------------------------------------------------
// Registry
// ---------------------------------------------------------------------------
void CvarRegister(Cvar *cvar);                    // refuses a name already registered
void CvarRegisterList(const CvarList *list);      // each in the list's order
Cvar *CvarFind(const char *name);                 // case-sensitive; null when absent
void CvarSet(const char *name, const char *text); // text and value; vec untouched
// Assignments by name so far (CvarSet): a change of the show that tracks do
// not make, for whoever keeps what the show was.
extern uint32_t cvarAssignments;

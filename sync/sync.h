// Sync tracks: named lists of keys by tracker row, their value at a fractional
// row, the files they are read from, and the per-frame copy of track values
// into the console variables bound to them.
#pragma once

#include <cstddef> // Required for: size_t
#include <cstdint>

#include "sync/trackwrite.h" // Required for: SyncKey, SYNC_STEP..SYNC_RAMP, the track-file names

struct Cvar;

// One named track, owned by its device.
struct SyncTrack {
    char *name;       // as asked for, unencoded
    SyncKey *keys;    // as the file stores them: ascending rows, one key per row, unchecked
    int32_t keyCount; // 0 for a track without a file
};

// The one device of a run: owns every track and the file operations that read them.
struct SyncDevice {
    char *base;         // encoded base name, prefix of every track file name
    SyncTrack **tracks; // in creation order
    int32_t trackCount;
    int32_t row;        // -1; there is no editor link that would move it
    int connection;     // -1: never opened, every track comes from its file
    // File operations: the C library's at creation, replaced by the host with
    // the data layer's so that packed track files are found too.
    void *(*open)(const char *name, const char *mode);                  // handle or null
    size_t (*read)(void *dst, size_t size, size_t count, void *handle); // BYTES read, not items
    void (*close)(void *handle);
};

// ---------------------------------------------------------------------------
// Device and tracks (sync.cpp)
// ---------------------------------------------------------------------------
SyncDevice *syncCreateDevice(const char *baseName); // null when out of memory
void syncDestroyDevice(SyncDevice *device);        // frees every track; null is ignored
// The track of that name (byte for byte), or a new one loaded from its file;
// a missing file gives an empty track. Null only when out of memory.
SyncTrack *syncGetTrack(SyncDevice *device, const char *name);

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

// Bisection for the key on an integer row: its index, or -1 - the insertion
// point. Over keys that are not sorted it answers whichever key the bisection
// meets, and its insertion point is only where the bisection ended.
int syncFindKey(const SyncTrack *track, int row);

// Value of a track at a fractional row, in double precision. The key at or
// before floor(row) is interpolated toward the next key by its type, t coming
// from the unfloored row. An empty (or null) track gives 0; rows before the
// first key the first key's value; rows at or after the last key the last
// key's value; a key of an unknown type 0 from its row up to the next key.
// Rows are held to the int32 range first: rows above it count as the highest
// row, NaN and rows below it as the lowest.
//
// Keys are used as stored, in or out of order. The search lands on some key k
// whose row is at or before floor(row) and interpolates k toward key k + 1 as
// stored. When key k + 1 does not lie after key k (out of order, or both on
// one row) the segment is taken at t = 0, that is key k's own value (0 for an
// unknown type). So at a row holding two keys the value is one of theirs, and
// every value lies between the values of two neighbouring stored keys: rows
// alone never make it NaN or infinite.
double syncGetValue(const SyncTrack *track, double row);

// Once per frame: every registered variable whose tracks[0] is set takes its
// tracks' values at the row: value for scalars, vec[0..2] for colours and
// vectors (vec[3], alpha or w, never). Unbound variables keep what files and
// the console gave them; text is never touched.
void syncUpdateVariables(double row);

// Values set by hand in the edit mode while the show is paused: a variable
// held keeps them, and the update above passes it by, until the holds are
// released (on play, seek or step). A plain run holds none.
int syncHoldVariable(Cvar *cvar);  // 1 when held (also when it already was); 0 when no room is left
int syncReleaseVariables(void);    // drops every hold; how many there were
int syncIsHeld(const Cvar *cvar);

// The binding rule of every effect and the host: a colour looks up the tracks
// "<name>_r", "_g", "_b", a vector "<name>_x", "_y", "_z", any other kind the
// track "<name>"; the names (cut to 63 characters) go to cvar->trackNames and
// the handles to cvar->tracks in that order. Binding again finds the same tracks.
void syncBindVariable(SyncDevice *device, Cvar *cvar);

// ---------------------------------------------------------------------------
// Track files (trackfile.cpp)
// ---------------------------------------------------------------------------

// Reads the track's keys from its file through the device's file operations,
// replacing any keys it had. 0 when the file was read, -1 when it cannot be
// opened or its keys cannot be allocated (the track is then empty, the file
// closed). Only complete keys are kept: a file shorter than its count gives
// the keys it holds, a negative count none, and memory grows with the keys
// actually read, never with the count the file claims.
int syncLoadTrack(SyncDevice *device, SyncTrack *track);

// Reads the track's file again while the show runs and replaces the keys only
// with a whole file: exactly 4 + 9 x its count bytes (a longer or shorter one
// is still being written), at most SYNC_RELOAD_KEYS_MAX keys. Otherwise, and
// when the file cannot be opened, the track keeps its keys.
enum {
    SYNC_RELOAD_WAIT = 0,
    SYNC_RELOAD_DONE = 1,
    SYNC_RELOAD_KEYS_MAX = 1 << 20,
};
int syncReloadTrack(SyncDevice *device, SyncTrack *track);

// The sync device and its tracks: lookup by name, the value of a track at a
// fractional row, the per-frame update of bound variables and the binding rule.
#include "sync/sync.h"

#include <climits>
#include <cmath>    // Required for: floor()
#include <cstdio>   // Required for: fopen(), fread(), fclose(), snprintf()
#include <cstdlib>
#include <cstring>
#include <unistd.h> // Required for: close() of the editor connection

#include "cvar/cvar.h"
#include "core/common.h"
#include "core/mathfn.h"

// ---------------------------------------------------------------------------
// Default file operations
// ---------------------------------------------------------------------------

static void *syncFileOpen(const char *name, const char *mode)
{
    return fopen(name, mode);
}

// Bytes, not items: the loader compares the answer with the bytes it asked
// for, as it does with the data layer's read that the host installs.
static size_t syncFileRead(void *dst, size_t size, size_t count, void *handle)
{
    return fread(dst, size, count, (FILE *)handle) * size;
}

static void syncFileClose(void *handle)
{
    fclose((FILE *)handle);
}

// ---------------------------------------------------------------------------
// Device and tracks
// ---------------------------------------------------------------------------

SyncDevice *syncCreateDevice(const char *baseName)
{
    SyncDevice *device = (SyncDevice *)calloc(1, sizeof *device);
    if (!device)
        return nullptr;
    device->base = strdup(syncEncodeName(baseName ? baseName : ""));
    if (!device->base) {
        free(device);
        return nullptr;
    }
    device->row = -1;
    device->connection = -1;
    device->open = syncFileOpen;
    device->read = syncFileRead;
    device->close = syncFileClose;
    return device;
}

void syncDestroyDevice(SyncDevice *device)
{
    if (!device)
        return;
    if (device->connection >= 0)
        ::close(device->connection);
    for (int32_t i = 0; i < device->trackCount; i++) {
        free(device->tracks[i]->name);
        free(device->tracks[i]->keys);
        free(device->tracks[i]);
    }
    free(device->tracks);
    free(device->base);
    free(device);
}

SyncTrack *syncGetTrack(SyncDevice *device, const char *name)
{
    if (!device || !name)
        return nullptr;
    for (int32_t i = 0; i < device->trackCount; i++) {
        if (strcmp(device->tracks[i]->name, name) == 0)
            return device->tracks[i];
    }

    // Room for the handle first, so that a failure leaves the device as it was.
    SyncTrack **tracks = (SyncTrack **)realloc(device->tracks, ((size_t)device->trackCount + 1) * sizeof *tracks);
    if (!tracks) {
        LOG_TAGGED("out of memory for track %s", name);
        return nullptr;
    }
    device->tracks = tracks;
    SyncTrack *track = (SyncTrack *)calloc(1, sizeof *track);
    char *copy = strdup(name);
    if (!track || !copy) {
        free(track);
        free(copy);
        LOG_TAGGED("out of memory for track %s", name);
        return nullptr;
    }
    track->name = copy;
    tracks[device->trackCount++] = track;

    syncLoadTrack(device, track); // a missing file leaves the track empty, which is its value
    return track;
}

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

int syncFindKey(const SyncTrack *track, int row)
{
    int lo = 0;
    int hi = track ? track->keyCount : 0;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2; // (lo + hi) / 2 without overflow
        if (track->keys[mid].row < row)
            lo = mid + 1;
        else if (track->keys[mid].row > row)
            hi = mid;
        else
            return mid;
    }
    return -1 - lo;
}

double syncGetValue(const SyncTrack *track, double row)
{
    if (!track || track->keyCount <= 0 || !track->keys)
        return 0.0;

    // Held to the int32 range so that the key search and t see the same row:
    // then t stays in [0, 1) and a huge row means "after every key".
    if (!(row >= (double)INT32_MIN)) // NaN too
        row = (double)INT32_MIN;
    else if (row > (double)INT32_MAX)
        row = (double)INT32_MAX;

    int k = syncFindKey(track, truncInt(floor(row)));
    if (k < 0) {
        k = -2 - k; // the key before the insertion point
        if (k < 0)
            return track->keys[0].value;
    }
    if (k > track->keyCount - 2)
        return track->keys[track->keyCount - 1].value;

    const SyncKey *a = &track->keys[k];
    const SyncKey *b = &track->keys[k + 1];
    // The span in double: two int32 rows can lie 2^32 - 1 apart. A next key
    // that does not lie after this one (keys out of order or on one row) would
    // divide by zero or a negative span; the segment is taken at its start.
    double span = (double)b->row - (double)a->row;
    double t = span > 0.0 ? (row - (double)a->row) / span : 0.0;
    double delta = (double)b->value - (double)a->value;
    switch (a->type) {
    case SYNC_STEP:
        return a->value;
    case SYNC_LINEAR:
        return a->value + delta * t;
    case SYNC_SMOOTH:
        return a->value + delta * (t * t * (3.0 - 2.0 * t));
    case SYNC_RAMP:
        return a->value + delta * mth_pow(t, 2.0);
    default:
        return 0.0;
    }
}

// Every variable bound to tracks may be held at once: the host binds sixty.
enum { SYNC_HELD_MAX = 256 };
static Cvar *syncHeld[SYNC_HELD_MAX];
static int syncHeldCount;

int syncHoldVariable(Cvar *cvar)
{
    if (syncIsHeld(cvar))
        return 1;
    if (!cvar || syncHeldCount == SYNC_HELD_MAX)
        return 0;
    syncHeld[syncHeldCount++] = cvar;
    return 1;
}

int syncReleaseVariables(void)
{
    int released = syncHeldCount;
    syncHeldCount = 0;
    return released;
}

int syncIsHeld(const Cvar *cvar)
{
    for (int i = 0; i < syncHeldCount; i++) {
        if (syncHeld[i] == cvar)
            return 1;
    }
    return 0;
}

void syncUpdateVariables(double row)
{
    for (Cvar *cvar = cvarList; cvar; cvar = cvar->next) {
        if (!cvar->tracks[0] || (syncHeldCount && syncIsHeld(cvar)))
            continue;
        if (cvar->kind == CVAR_COLOR || cvar->kind == CVAR_VEC3) {
            // vec[3] (alpha, w) is never track-driven.
            for (int i = 0; i < 3; i++) {
                if (cvar->tracks[i])
                    cvar->vec[i] = (float)syncGetValue(cvar->tracks[i], row);
            }
        } else {
            cvar->value = (float)syncGetValue(cvar->tracks[0], row);
        }
    }
}

// ---------------------------------------------------------------------------
// Binding
// ---------------------------------------------------------------------------

void syncBindVariable(SyncDevice *device, Cvar *cvar)
{
    static const char *const colourSuffix[3] = {"_r", "_g", "_b"};
    static const char *const vectorSuffix[3] = {"_x", "_y", "_z"};
    static const char *const scalarSuffix[1] = {""};

    const char *const *suffix = scalarSuffix;
    int count = 1;
    if (cvar->kind == CVAR_COLOR || cvar->kind == CVAR_VEC3) {
        suffix = cvar->kind == CVAR_COLOR ? colourSuffix : vectorSuffix;
        count = 3;
    }
    for (int i = 0; i < count; i++) {
        snprintf(cvar->trackNames[i], CVAR_TRACK_NAME, "%s%s", cvar->name, suffix[i]);
        // Looked up by the stored name, so that trackNames always names the track.
        cvar->tracks[i] = syncGetTrack(device, cvar->trackNames[i]);
    }
}

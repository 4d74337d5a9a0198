// Track keys and their files as the production builder writes them: the key
// record, the interpolation kinds, the file naming and the track-file encoder.
#pragma once

#include <cstddef> // Required for: size_t
#include <cstdint>

// Interpolation from a key to the next one (SyncKey.type).
enum {
    SYNC_STEP = 0,   // hold the key's value up to the next key
    SYNC_LINEAR = 1, // straight line
    SYNC_SMOOTH = 2, // t * t * (3 - 2t)
    SYNC_RAMP = 3,   // t^2
};

// Size of the static buffers of syncEncodeName and syncTrackPath: the strings
// in them hold at most 259 characters.
enum { SYNC_NAME_BUFFER = 260 };

struct SyncKey {
    int32_t row;  // row at which the key sits
    float value;  // value at that row
    int32_t type; // SYNC_STEP..SYNC_RAMP; widened from a signed byte, so it can be negative
};

// Letters, digits, '.' and '_' are kept, every other byte becomes "-XX"
// (upper-case hex). Stops at the first byte that no longer fits in 259
// characters. Static buffer, overwritten by the next call (syncTrackPath
// calls it too).
const char *syncEncodeName(const char *name);

// base + "_" + encoded name + ".track", cut to 259 characters; a second static
// buffer, overwritten by the next call.
const char *syncTrackPath(const char *base, const char *name);

// The bytes of a track file holding these keys (4 + 9 x count, little-endian,
// types stored as signed bytes). Writes them to out when it is not null;
// returns the size either way.
size_t syncEncodeTrack(const SyncKey *keys, int32_t count, uint8_t *out);

// Track files: reading a track's keys through the device's file operations
// (names and the encoder are in trackwrite.cpp).
#include "sync/sync.h"

#include <cstdlib>
#include <cstring> // Required for: memcpy()

#include "core/common.h"

// Layout of a track file, little-endian, no header: a signed 32-bit key
// count, then per key a signed 32-bit row, a 32-bit float value and one
// signed type byte.
enum {
    TRACK_COUNT_BYTES = 4,
    TRACK_KEY_BYTES = 9,
    TRACK_FIRST_CAPACITY = 16, // keys allocated before the file has shown more
};

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

static int32_t syncReadLe32(const unsigned char *bytes)
{
    return (int32_t)((uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
                     (uint32_t)bytes[3] << 24);
}

int syncLoadTrack(SyncDevice *device, SyncTrack *track)
{
    if (!device || !track)
        return -1;
    free(track->keys);
    track->keys = nullptr;
    track->keyCount = 0;

    const char *path = syncTrackPath(device->base, track->name);
    void *file = device->open(path, "rb");
    if (!file)
        return -1; // no file is the usual way of having no keys: nothing to say

    unsigned char bytes[TRACK_KEY_BYTES];
    int32_t count = 0;
    if (device->read(bytes, TRACK_COUNT_BYTES, 1, file) == TRACK_COUNT_BYTES)
        count = syncReadLe32(bytes);
    else
        LOG_TAGGED("%s has no key count", path);
    if (count < 0)
        LOG_TAGGED("%s has a negative key count %d", path, count);

    // The count is untrusted: the array grows with the complete keys actually
    // read, so a damaged count costs no more memory than the file's own keys.
    SyncKey *keys = nullptr;
    int32_t kept = 0;
    int32_t capacity = 0;
    while (kept < count && device->read(bytes, TRACK_KEY_BYTES, 1, file) == TRACK_KEY_BYTES) {
        if (kept == capacity) {
            int32_t grown = capacity == 0 ? TRACK_FIRST_CAPACITY : (capacity > count / 2 ? count : capacity * 2);
            if (grown > count)
                grown = count;
            SyncKey *more = (SyncKey *)realloc(keys, (size_t)grown * sizeof *keys);
            if (!more) {
                free(keys);
                device->close(file);
                LOG_TAGGED("out of memory for the keys of %s", path);
                return -1;
            }
            keys = more;
            capacity = grown;
        }
        SyncKey *key = &keys[kept++];
        key->row = syncReadLe32(bytes);
        uint32_t bits = (uint32_t)syncReadLe32(bytes + 4);
        memcpy(&key->value, &bits, sizeof key->value); // IEEE-754 single, as stored
        key->type = (int8_t)bytes[8];                  // signed: 0xFF is type -1
    }
    device->close(file);
    if (kept < count)
        LOG_TAGGED("%s holds %d of its %d keys", path, kept, count);

    track->keys = keys;
    track->keyCount = kept;
    return 0;
}

// ---------------------------------------------------------------------------
// Reloading
// ---------------------------------------------------------------------------

int syncReloadTrack(SyncDevice *device, SyncTrack *track)
{
    if (!device || !track)
        return SYNC_RELOAD_WAIT;
    void *file = device->open(syncTrackPath(device->base, track->name), "rb");
    if (!file)
        return SYNC_RELOAD_WAIT;
    // Whole or not at all: the count, exactly that many keys, nothing after.
    unsigned char head[TRACK_COUNT_BYTES];
    int32_t count = -1;
    if (device->read(head, TRACK_COUNT_BYTES, 1, file) == TRACK_COUNT_BYTES)
        count = syncReadLe32(head);
    SyncKey *keys = nullptr;
    bool whole = count >= 0 && count <= SYNC_RELOAD_KEYS_MAX;
    if (whole && count > 0) {
        size_t bytes = (size_t)count * TRACK_KEY_BYTES;
        unsigned char *data = (unsigned char *)malloc(bytes);
        keys = (SyncKey *)malloc((size_t)count * sizeof *keys);
        whole = data && keys && device->read(data, bytes, 1, file) == bytes;
        for (int32_t i = 0; whole && i < count; i++) {
            const unsigned char *b = data + (size_t)i * TRACK_KEY_BYTES;
            keys[i].row = syncReadLe32(b);
            uint32_t bits = (uint32_t)syncReadLe32(b + 4);
            memcpy(&keys[i].value, &bits, sizeof keys[i].value);
            keys[i].type = (int8_t)b[8];
        }
        free(data);
    }
    unsigned char extra;
    whole = whole && device->read(&extra, 1, 1, file) == 0;
    device->close(file);
    if (!whole) {
        free(keys);
        return SYNC_RELOAD_WAIT;
    }
    free(track->keys);
    track->keys = keys;
    track->keyCount = count;
    return SYNC_RELOAD_DONE;
}


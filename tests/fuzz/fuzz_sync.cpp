// Track files of arbitrary bytes, read through the device's file operations
// from memory, and their values at rows near every key, at random rows and at
// the extremes. A value must lie between key values (or be 0) whenever the
// keys' values are finite.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "fuzzutil.h"
#include "sync/sync.h"

// The one file the device can open: the input.
struct MemoryFile {
    const uint8_t *data;
    size_t size;
    size_t position;
};
static MemoryFile input;

static void *memOpen(const char *, const char *)
{
    MemoryFile *file = new MemoryFile(input);
    return file;
}

// Bytes, like the data layer's read the host installs: a short read delivers what is left.
static size_t memRead(void *dst, size_t size, size_t count, void *handle)
{
    MemoryFile *file = (MemoryFile *)handle;
    size_t want = size * count, left = file->size - file->position;
    size_t got = want < left ? want : left;
    memcpy(dst, file->data + file->position, got);
    file->position += got;
    return got;
}

static void memClose(void *handle)
{
    delete (MemoryFile *)handle;
}

static void checkRow(const SyncTrack *track, double row, double low, double high)
{
    double value = syncGetValue(track, row);
    if (std::isfinite(low) && std::isfinite(high)) {
        double slack = 1e-9 * (std::fabs(low) + std::fabs(high));
        if (!(value >= low - slack && value <= high + slack))
            abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    input = MemoryFile{data, size, 0};
    SyncDevice *device = syncCreateDevice("sync");
    if (!device)
        return 0;
    device->open = memOpen;
    device->read = memRead;
    device->close = memClose;
    SyncTrack *track = syncGetTrack(device, "fuzz");
    if (!track || syncLoadTrack(device, track) != 0) // the second load replaces the first
        abort();

    double low = 0.0, high = 0.0; // an unknown type gives 0
    bool finite = true;
    for (int32_t i = 0; i < track->keyCount; i++) {
        low = std::fmin(low, track->keys[i].value);
        high = std::fmax(high, track->keys[i].value);
        finite = finite && std::isfinite(track->keys[i].value);
    }
    if (!finite)
        low = high = NAN; // no bounds to check
    const double inf = std::numeric_limits<double>::infinity();
    for (double row : {-inf, -2147483649.0, -1.0, -0.5, 0.0, 0.5, 1e9, 2147483647.5, 4e9, inf, (double)NAN})
        checkRow(track, row, low, high);
    // Around the first keys, then at random rows near and far.
    for (int32_t i = 0; i < track->keyCount && i < 64; i++) {
        for (double offset : {-1.0, -0.001, 0.0, 0.25, 0.999, 1.0})
            checkRow(track, track->keys[i].row + offset, low, high);
    }
    std::mt19937_64 random(fuzzHash(data, size));
    for (int i = 0; i < 32; i++) {
        uint64_t bits = random();
        double row = i % 2 ? (double)(int64_t)bits / 4294967296.0 : (double)(int16_t)bits + (bits >> 16 & 0xFF) / 256.0;
        checkRow(track, row, low, high);
    }
    syncDestroyDevice(device);
    return 0;
}

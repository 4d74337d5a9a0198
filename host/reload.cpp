// Watching the asset tree's track files, variable files and kept pictures by
// their size and time.
#include "host/reload.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cvar/cvarfile.h"
#include "data/data.h"
#include "data/image.h"
#include "host/quiet.h"
#include "sync/sync.h"

namespace fs = std::filesystem;

// How a file stood when last taken (or found).
struct Stamp {
    bool exists;
    uintmax_t size;
    fs::file_time_type time;
};

enum { WATCH_TRACK, WATCH_VARIABLES, WATCH_PICTURE };

struct Watched {
    std::string name;  // as the show asks for it (relative to the base path)
    int kind;          // WATCH_...
    SyncTrack *track;  // a track file's track
    char **slot;       // a variable file's slot
    Stamp taken;       // the version in use
    Stamp waiting;     // a version found incomplete, not tried again until it changes
};

static SyncDevice *watchedDevice;
static std::vector<Watched> watched;

static Stamp stampOf(const std::string &name)
{
    char path[DATA_PATH_MAX + 1];
    dataAssetPath(path, sizeof path, name.c_str());
    std::error_code error;
    Stamp s = {};
    s.exists = fs::is_regular_file(path, error);
    if (s.exists) {
        s.size = fs::file_size(path, error);
        s.time = fs::last_write_time(path, error);
    }
    return s;
}

static bool sameStamp(const Stamp &a, const Stamp &b)
{
    return a.exists == b.exists && a.size == b.size && a.time == b.time;
}

void reloadWatch(SyncDevice *device)
{
    watchedDevice = device;
    watched.clear();
    for (int i = 0; device && i < device->trackCount; i++) {
        SyncTrack *track = device->tracks[i];
        std::string name = syncTrackPath(device->base, track->name);
        Stamp now = stampOf(name);
        watched.push_back({name, WATCH_TRACK, track, nullptr, now, now});
    }
    for (int i = 0; i < cvarFileCount; i++) {
        Stamp now = stampOf(cvarFiles[i]);
        watched.push_back({cvarFiles[i], WATCH_VARIABLES, nullptr, &cvarFiles[i], now, now});
    }
    int pictures = imgKeptNames(nullptr, 0);
    std::vector<const char *> names((size_t)pictures);
    imgKeptNames(names.data(), pictures);
    for (const char *name : names) {
        Stamp now = stampOf(name);
        watched.push_back({name, WATCH_PICTURE, nullptr, nullptr, now, now});
    }
}

// A variable file is whole when it reads completely and ends its last line.
static bool reloadVariables(Watched *w)
{
    int32_t size = 0;
    uint8_t *bytes = dataLoadFile(w->name.c_str(), &size);
    bool whole = bytes && (size == 0 || bytes[size - 1] == '\n');
    if (whole)
        CvarReadText((const char *)bytes, (size_t)size, w->slot);
    free(bytes);
    return whole;
}

int reloadPoll(int force, char *said, size_t saidSize)
{
    int taken = 0;
    for (Watched &w : watched) {
        Stamp now = stampOf(w.name);
        if (!force && (sameStamp(now, w.taken) || sameStamp(now, w.waiting)))
            continue;
        char refused[DATA_PATH_MAX + 128] = "";
        bool whole = false;
        switch (w.kind) {
        case WATCH_TRACK: whole = syncReloadTrack(watchedDevice, w.track) == SYNC_RELOAD_DONE; break;
        case WATCH_VARIABLES: whole = reloadVariables(&w); break;
        case WATCH_PICTURE: whole = imgReloadKept(w.name.c_str(), refused, sizeof refused) == IMG_RELOAD_TAKEN; break;
        }
        if (!whole) {
            w.waiting = now; // tried again once it changes
            // A whole picture of the wrong size is no half-written file: say
            // why it was not taken, once for this version.
            if (refused[0]) {
                fprintf(stderr, "%s\n", refused);
                if (said)
                    snprintf(said, saidSize, "%s", refused);
            }
            continue;
        }
        w.taken = w.waiting = now;
        taken++;
        if (force)
            continue; // one line for the whole pass, below
        char line[DATA_PATH_MAX + 64];
        if (w.track)
            snprintf(line, sizeof line, "Reloaded %s: %d keys", w.name.c_str(), (int)w.track->keyCount);
        else
            snprintf(line, sizeof line, "Reloaded %s", w.name.c_str());
        fprintf(quietTerminal(), "%s\n", line);
        if (said)
            snprintf(said, saidSize, "%s", line);
    }
    if (force) {
        fprintf(quietTerminal(), "Reloaded %d of %d track, variable and picture files\n", taken, (int)watched.size());
        if (said)
            snprintf(said, saidSize, "Reloaded %d of %d files", taken, (int)watched.size());
    }
    return taken;
}

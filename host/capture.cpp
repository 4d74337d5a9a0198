// Offline capture of the presented pictures as PNG files or video frames.
#include "host/capture.h"

#include <dirent.h>   // Required for: opendir()
#include <sys/stat.h> // Required for: mkdir()

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/pngwrite.h"
#include "data/replacefile.h"
#include "host/music.h"
#include "host/progress.h"
#include "host/video.h"
#include "render/bitmap.h"

static std::string captureDir;
static double captureFps;
static double captureOrigin; // frame n shows captureOrigin + (captureFirst + n) / captureFps
static int64_t captureFirst;
static long captureTotal = -1; // frames to write; -1 until the duration is known
static long captureCount;
static int captureError;
// Where the pictures go.
enum { CAPTURE_TO_FILES, CAPTURE_TO_VIDEO, CAPTURE_NOWHERE /* bench */ };
static int captureSink;
static Progress captureProgress; // PNG frames; the video reports its own
static std::vector<std::string> captureStale; // frame files found in the directory before the run

#ifdef _WIN32
// One directory of the path; under a file Windows says ENOENT where Linux
// says ENOTDIR, and the message should read alike.
static int captureMakeDir(const std::string &part, const std::string &parent)
{
    if (mkdir(part.c_str()) == 0) // permissions come from the parent directory
        return 0;
    struct stat info;
    if (errno == ENOENT && !parent.empty() && stat(parent.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
        errno = ENOTDIR;
    return -1;
}
#endif

// Creates every missing directory of the path, like "mkdir -p".
static int captureMakeDirs(const std::string &path)
{
#ifdef _WIN32
    std::string parent;
    for (size_t i = 1; i <= path.size(); i++) {
        if (i < path.size() && path[i] != '/' && path[i] != '\\') // Windows takes both separators
            continue;
        std::string part = path.substr(0, i);
        if (part.back() == ':')
            continue; // a drive ("C:") is there or not; the next part tells
        if (captureMakeDir(part, parent) != 0 && errno != EEXIST)
            return 0;
        parent = part;
    }
#else
    for (size_t i = 1; i <= path.size(); i++) {
        if (i < path.size() && path[i] != '/')
            continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return 0;
    }
#endif
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

static long captureFramesFor(double seconds)
{
    // The small tolerance keeps 2 s at 30 fps from becoming 61 frames.
    long frames = (long)std::ceil(seconds * captureFps - 1e-9);
    return frames < 1 ? 1 : frames;
}

static double captureTime(long frame)
{
    return captureOrigin + (double)(captureFirst + frame) / captureFps;
}

static void captureSetTiming(double fps, double start, double duration)
{
    captureFps = fps;
    captureOrigin = start;
    captureFirst = 0;
    captureCount = 0;
    captureError = 0;
    captureTotal = duration > 0.0 ? captureFramesFor(duration) : -1;
    musicSetOfflineTime(captureTime(0));
}

void captureSetGrid(double origin, int64_t first)
{
    captureOrigin = origin;
    captureFirst = first;
    musicSetOfflineTime(captureTime(captureCount));
}

// "frame_000123.png", or the hidden name it is written under first.
static bool captureIsFrameFile(const char *name)
{
    bool hidden = name[0] == '.';
    name += hidden;
    size_t digits = strncmp(name, "frame_", 6) == 0 ? strspn(name + 6, "0123456789") : 0;
    const char *rest = name + 6 + digits;
    return digits >= 6 && !strcmp(rest, hidden ? ".png.part" : ".png");
}

static void captureFindFrameFiles(void)
{
    captureStale.clear();
    DIR *dir = opendir(captureDir.c_str());
    for (struct dirent *entry; dir && (entry = readdir(dir));)
        if (captureIsFrameFile(entry->d_name))
            captureStale.push_back(entry->d_name);
    if (dir)
        closedir(dir);
    std::sort(captureStale.begin(), captureStale.end());
}

int captureBegin(const char *dir, double fps, double start, double duration, int overwrite)
{
    captureDir = dir;
    while (captureDir.size() > 1 && captureDir.back() == '/')
        captureDir.pop_back();
    captureSink = CAPTURE_TO_FILES;
    captureSetTiming(fps, start, duration);
    if (!captureMakeDirs(captureDir)) {
        fprintf(stderr, "Cannot create the capture directory %s: %s\n", dir, strerror(errno));
        return CAPTURE_NO_DIRECTORY;
    }
    // Old frames beside new ones would pass for one capture.
    captureFindFrameFiles();
    if (!captureStale.empty() && !overwrite) {
        fprintf(stderr,
                "The capture directory %s already holds %zu frame file%s (such as %s).\n"
                "Give --overwrite to remove them and capture anew, or choose another directory.\n",
                dir, captureStale.size(), captureStale.size() == 1 ? "" : "s", captureStale.front().c_str());
        return CAPTURE_FRAMES_EXIST;
    }
    return CAPTURE_READY;
}

int captureRemoveOldFrames(void)
{
    for (const std::string &name : captureStale) {
        std::string path = captureDir + "/" + name;
        if (remove(path.c_str()) != 0 && errno != ENOENT) {
            fprintf(stderr, "Cannot remove the old frame %s: %s\n", path.c_str(), strerror(errno));
            return 0;
        }
    }
    if (!captureStale.empty())
        fprintf(stderr, "Removed %zu old frame file%s from %s.\n", captureStale.size(),
                captureStale.size() == 1 ? "" : "s", captureDir.c_str());
    captureStale.clear();
    return 1;
}

void captureBeginVideo(double fps, double start, double duration)
{
    captureSink = CAPTURE_TO_VIDEO;
    captureSetTiming(fps, start, duration);
}

void captureBeginBench(double fps, double start, double duration)
{
    captureSink = CAPTURE_NOWHERE;
    captureSetTiming(fps, start, duration);
}

void captureSetDefaultDuration(double seconds)
{
    if (captureTotal < 0)
        captureTotal = captureFramesFor(seconds);
}

long captureTotalFrames(void)
{
    return captureTotal;
}

int captureFailed(void)
{
    return captureError;
}

int captureFrames(void)
{
    return (int)captureCount;
}

int captureWritePNG(const char *path, const uint32_t *picture)
{
    return pngWriteFile(path, picture, FRAME_WIDTH, PICTURE_ROWS, FRAME_WIDTH, 0);
}

static int captureWriteFile(const uint32_t *picture)
{
    char name[32];
    snprintf(name, sizeof name, "frame_%06ld.png", captureCount);
    std::string path = captureDir + "/" + name;
    // Written under a temporary name first, so that a frame file that exists
    // is always complete.
    std::string temporary = captureDir + "/." + name + ".part";
    if (captureCount == 0)
        progressBegin(&captureProgress, "Capture", captureTotal);
    if (!captureWritePNG(temporary.c_str(), picture) || dataRenameOver(temporary.c_str(), path.c_str()) != 0) {
        progressBreak(&captureProgress);
        fprintf(stderr, "Failed to write the frame %s: %s\n", path.c_str(), strerror(errno));
        remove(temporary.c_str());
        return 0;
    }
    progressReport(&captureProgress, captureCount + 1, captureCount + 1 == captureTotal);
    return 1;
}

static int captureWriteVideoFrame(const uint32_t *picture)
{
    // The frame count is known from the first frame on (captureSetDefaultDuration).
    if (captureCount == 0 && !videoStart(captureFps, captureTime(0), captureTotal, musicFilePath()))
        return 0;
    return videoWriteFrame(picture);
}

int capturePresent(const uint32_t *picture)
{
    int written = captureSink == CAPTURE_NOWHERE   ? 1
                  : captureSink == CAPTURE_TO_VIDEO ? captureWriteVideoFrame(picture)
                                                    : captureWriteFile(picture);
    if (!written) {
        captureError = 1;
        return 0;
    }
    captureCount++;
    musicSetOfflineTime(captureTime(captureCount));
    return captureTotal < 0 || captureCount < captureTotal;
}

void captureFinish(void)
{
    if (captureSink == CAPTURE_TO_VIDEO && !videoFinish())
        captureError = 1;
    if (captureSink != CAPTURE_TO_FILES || captureError || captureCount == 0)
        return;
    double elapsed = progressElapsed(&captureProgress);
    fprintf(stderr, "Capture: %ld frame%s in %s (%.1f frames/s) written to %s/frame_000000.png to frame_%06ld.png\n",
            captureCount, captureCount == 1 ? "" : "s", progressClock(elapsed).c_str(),
            elapsed > 0.0 ? captureCount / elapsed : 0.0, captureDir.c_str(), captureCount - 1);
}

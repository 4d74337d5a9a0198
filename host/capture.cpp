// Offline capture of the presented pictures as PNG files or video frames.
#include "host/capture.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h> // Required for: mkdir()

#include "data/pngwrite.h"
#include "host/music.h"
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

// Creates every missing directory of the path, like "mkdir -p".
static int captureMakeDirs(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++) {
        if (i < path.size() && path[i] != '/')
            continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return 0;
    }
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

int captureBegin(const char *dir, double fps, double start, double duration)
{
    captureDir = dir;
    while (captureDir.size() > 1 && captureDir.back() == '/')
        captureDir.pop_back();
    captureSink = CAPTURE_TO_FILES;
    captureSetTiming(fps, start, duration);
    if (!captureMakeDirs(captureDir)) {
        fprintf(stderr, "Cannot create the capture directory %s: %s\n", dir, strerror(errno));
        return 0;
    }
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
    if (!captureWritePNG(temporary.c_str(), picture) || rename(temporary.c_str(), path.c_str()) != 0) {
        fprintf(stderr, "Failed to write the frame %s: %s\n", path.c_str(), strerror(errno));
        remove(temporary.c_str());
        return 0;
    }
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
}

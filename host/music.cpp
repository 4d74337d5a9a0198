// Starting the music, its position, and the demo clock.
#include "host/music.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "data/data.h"
#include "platform/audio.h"
#include "platform/platform.h"

enum { MUSIC_EXIT_CODE = 10 };

static int musicMode = MUSIC_DEVICE;
static AudioStream *musicStream;
static uint64_t musicSilentStart; // counter reading at which silent playback was at musicSilentFrom
static double musicSilentFrom;
static int musicIsPaused;
static double musicOfflineTime;
static char musicPath[DATA_PATH_MAX + 1];

static double demoStart;
static bool demoStarted;

void musicSetMode(int mode)
{
    musicMode = mode;
}

void musicSetCalibration(double milliseconds)
{
    audioSetCalibration(milliseconds / 1000.0);
}

void musicSetOfflineTime(double seconds)
{
    musicOfflineTime = seconds;
}

void musicStart(void)
{
    if (musicMode == MUSIC_DEVICE && !audioDeviceOpen()) {
        printf("Failed to initialize BASS\n");
        fflush(stdout); // the hint below follows it on the terminal
        fprintf(stderr, "No sound: %s; run with --no-sound to play without sound.\n", audioDeviceFailure());
        exit(MUSIC_EXIT_CODE);
    }

    // Cut like every asset path when the base path is long.
    if (snprintf(musicPath, sizeof musicPath, "%s%s", basePath, "music.mp3") < 0)
        musicPath[0] = '\0';
    musicStream = audioStreamOpen(musicPath);
    if (!musicStream) {
        printf("Failed to initialize BASS stream from %s\n", "music.mp3");
        exit(MUSIC_EXIT_CODE);
    }

    if (musicMode == MUSIC_DEVICE) {
        audioStart();
        audioPlay(musicStream);
    }
    musicSilentStart = platformCounter();
}

const char *musicFilePath(void)
{
    return musicPath;
}

double musicLength(void)
{
    return audioStreamLength(musicStream);
}

double musicPosition(void)
{
    if (!musicStream)
        return 0.0;
    double position;
    switch (musicMode) {
    case MUSIC_DEVICE:
        return audioStreamPosition(musicStream);
    case MUSIC_SILENT:
        position = musicSilentFrom + (musicIsPaused ? 0.0 : platformSecondsSince(musicSilentStart));
        break;
    default:
        position = musicOfflineTime;
        break;
    }
    return musicPositionAt(position);
}

double musicPositionAt(double seconds)
{
    // Like a played stream, the position stops at the end of the music.
    double length = musicLength();
    return seconds < length ? seconds : length;
}

void musicSeek(double seconds)
{
    double length = musicLength();
    double to = std::isfinite(seconds) ? std::clamp(seconds, 0.0, length) : 0.0;
    switch (musicMode) {
    case MUSIC_DEVICE:
        audioStreamSeek(musicStream, to);
        break;
    case MUSIC_SILENT:
        musicSilentFrom = to;
        musicSilentStart = platformCounter();
        break;
    default:
        musicOfflineTime = to;
        break;
    }
}

void musicPause(int paused)
{
    paused = paused != 0;
    if (paused == musicIsPaused)
        return;
    if (musicMode == MUSIC_DEVICE) {
        audioStreamPause(musicStream, paused);
    } else if (musicMode == MUSIC_SILENT) {
        musicSilentFrom = musicPosition(); // held while paused, counted on from here after
        musicSilentStart = platformCounter();
    }
    musicIsPaused = paused;
}

int musicPaused(void)
{
    return musicIsPaused;
}

static double demoNow(void)
{
    if (musicMode == MUSIC_OFFLINE)
        return musicOfflineTime;
    return (double)platformCounter() / (double)platformFrequency();
}

double demoTime(float scale)
{
    double now = demoNow();
    if (!demoStarted) {
        demoStart = now;
        demoStarted = true;
        return 0.0;
    }
    return (now - demoStart) * scale;
}

void demoTimeStart(void)
{
    // Offline, the clock counts in music time, which began at 0 whatever
    // moment the capture starts from.
    demoStart = musicMode == MUSIC_OFFLINE ? 0.0 : demoNow();
    demoStarted = true;
}

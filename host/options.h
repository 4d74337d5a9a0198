// Command-line options beyond the run mode: offline capture, video export and sound.
#pragma once

#include <cstdio>

struct HostOptions {
    const char *captureDir; // --capture DIR: render offline into PNG files; null otherwise
    const char *videoFile;  // --video FILE: render offline into a video through ffmpeg; null otherwise
    double fps;             // frames per second of music time offline
    double start;           // music time of the first offline frame
    double duration;        // seconds to render offline; 0 = until the music ends
    int noSound;            // --no-sound: play without an audio device
};

enum {
    OPTIONS_RUN = 0,       // go on with the run
    OPTIONS_DONE = 1,      // --help was answered: exit 0
    OPTIONS_USAGE = 2,     // bad options: exit 2
};

// Reads the "--" options; every other argument is left to the run-mode scan
// ("-release", "-rebuild") and otherwise ignored.
int hostParseOptions(int argc, char **argv, HostOptions *options);
void hostPrintUsage(FILE *out);

// Command-line options beyond the run mode: offline capture, video export,
// bench and sound.
#pragma once

#include <cstdio>

struct HostOptions {
    int release;            // "-release" in any letter case: play from the packs
    int rebuild;            // "-rebuild" in any letter case: the curl effect builds its table
    const char *captureDir; // --capture DIR: render offline into PNG files; null otherwise
    const char *videoFile;  // --video FILE: render offline into a video through ffmpeg; null otherwise
    int bench;              // --bench: render offline, write nothing, print the frame times
    const char *benchJson;  // --bench-json FILE: the same figures as JSON into FILE (implies --bench)
    double fps;             // frames per second of music time offline
    double start;           // music time of the first offline frame
    double duration;        // seconds to render offline; 0 = until the music ends
    int coldStart;          // --cold-start: begin --start with the start-up state instead of the show's
    int noSound;            // --no-sound: play without an audio device
    int edit;               // --edit: the window with the transport and the control channel
    const char *controlPath; // --control PATH: the edit mode's socket
    // The window (live runs): see screen.h's ScreenDisplay.
    int fullscreen;         // --fullscreen: desktop full screen, largest whole enlargement
    int zoom;               // --zoom N: a window of 320 N x 180 N; 0 for the plain 1920 x 1080 window
    int display;            // --display K: the display to open on, 0 the first
    int noVsync;            // --no-vsync: present as fast as the loop goes
    int overwrite;          // --overwrite: a capture replaces the frame files already in its directory
    int videoWidth;         // --video-size WxH: the video's size, a whole multiple of 320 x 180
    int videoHeight;
    int crf;                // --crf N: the video encoder's quality, 0 (best) to 51
    double audioOffsetMs;   // --audio-offset MS: the picture this much later than the sound device reports
    int quiet;              // --quiet: standard output keeps errors and the run's summary
};

enum {
    OPTIONS_RUN = 0,       // go on with the run
    OPTIONS_DONE = 1,      // --help was answered: exit 0
    OPTIONS_USAGE = 2,     // bad options: exit 2
};

// Reads the command line once: the run mode ("-release", "-rebuild", any
// letter case, anywhere after the program name) and the "--" options; other
// arguments are ignored ("-h", "-help" and "-?" answer with the usage; any
// other word with one dash is warned about, naming the option it is nearest).
int hostParseOptions(int argc, char **argv, HostOptions *options);
void hostPrintUsage(FILE *out);

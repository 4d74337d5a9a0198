// The music and the demo clock: the music's playback position is the master
// clock that becomes the tracker row; the demo clock counts seconds since the
// music started.
#pragma once

enum {
    MUSIC_DEVICE = 0,  // play through the sound device (the normal run)
    MUSIC_SILENT = 1,  // no device: the position follows the steady clock
    MUSIC_OFFLINE = 2, // no device: the position is set frame by frame
};

void musicSetMode(int mode);
// The machine's delay between the sound device and the ears, found by ear
// (--audio-offset): a positive value shows the picture later.
void musicSetCalibration(double milliseconds);

// Opens the output and starts "music.mp3" from the base path. Does not return
// on failure: prints why and ends the process with exit code 10.
void musicStart(void);
double musicPosition(void); // seconds; 0 before musicStart
// The position a stream played for `seconds` reports: held at the music's end.
double musicPositionAt(double seconds);
const char *musicFilePath(void); // the file musicStart opened ("" before)
double musicLength(void);   // seconds; 0 before musicStart

// Offline runs: the music time of the frame being made.
void musicSetOfflineTime(double seconds);

// The edit mode's transport: the music (heard or silent) jumps to a time,
// held to the music, stops and goes on from the same sample.
void musicSeek(double seconds);
void musicPause(int paused);
int musicPaused(void);

double demoTime(float scale); // (now - start) * scale
void demoTimeStart(void);

// Offline capture: every presented picture becomes a numbered PNG file or a
// frame of the exported video, and the music time advances by exactly one
// frame per picture.
#pragma once

#include <cstdint>

enum {
    CAPTURE_READY = 0,
    CAPTURE_NO_DIRECTORY = 1, // the directory cannot be made
    CAPTURE_FRAMES_EXIST = 2, // it holds frame files and overwrite was not given
};
// Creates the directory and sets the music time of frame 0. A duration of 0
// or less means "until the end of the music" (see captureSetDefaultDuration).
// Frame files already in the directory refuse the capture unless overwrite is
// set; they are then removed by captureRemoveOldFrames. Anything but
// CAPTURE_READY has printed why.
int captureBegin(const char *dir, double fps, double start, double duration, int overwrite);
// Removes the frame files captureBegin found (with overwrite), once the run is
// sure to render. 0, after its message, when one cannot be removed.
int captureRemoveOldFrames(void);
// The same timing, with the pictures going to the video encoder (videoBegin
// has checked the output); the encoder starts with the first picture.
void captureBeginVideo(double fps, double start, double duration);
// The same timing again, with every picture dropped: a bench measures the
// frames and writes nothing.
void captureBeginBench(double fps, double start, double duration);
void captureSetDefaultDuration(double seconds);
// Frame n shows music time origin + (first + n) / fps: with origin 0, the
// frames of a run from the start. By default origin is the start and first 0.
void captureSetGrid(double origin, int64_t first);

// Writes the 320 x 180 picture as the next frame. Answers 1 while frames
// remain, 0 after the last one or when the frame could not be written.
int capturePresent(const uint32_t *picture);

// After the last frame: a video is finished and put in place (or removed); a
// capture of PNG frames prints its summary (frames, time, directory).
void captureFinish(void);

int captureFailed(void);   // a frame or the video could not be written
long captureTotalFrames(void); // frames the run writes in all
int captureFrames(void);   // frames written so far

// Writes 320 x 180 BGRA pixels (row stride 320) as an 8-bit RGB PNG file.
int captureWritePNG(const char *path, const uint32_t *picture);

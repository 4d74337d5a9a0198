// Offline capture: every presented picture becomes a numbered PNG file, and
// the music time advances by exactly one frame per picture.
#pragma once

#include <cstdint>

// Creates the directory and sets the music time of frame 0. A duration of 0
// or less means "until the end of the music" (see captureSetDefaultDuration).
int captureBegin(const char *dir, double fps, double start, double duration); // 1 on success
void captureSetDefaultDuration(double seconds);

// Writes the 320 x 180 picture as the next frame. Answers 1 while frames
// remain, 0 after the last one or when the file could not be written.
int capturePresent(const uint32_t *picture);

int captureFailed(void);   // a frame could not be written
int captureFrames(void);   // frames written so far

// Writes 320 x 180 BGRA pixels (row stride 320) as an 8-bit RGB PNG file.
int captureWritePNG(const char *path, const uint32_t *picture);

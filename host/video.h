// Video export: the offline pictures go through a pipe to the ffmpeg program,
// which encodes them, enlarged by a whole factor, together with the music.
#pragma once

#include <cstdint>

enum {
    VIDEO_READY = 0,      // encoder found, output place writable
    VIDEO_NO_ENCODER = 1, // no ffmpeg program in PATH
    VIDEO_NO_OUTPUT = 2,  // the output file cannot be created
    VIDEO_BAD_CONTAINER = 3, // ffmpeg cannot write the show into a file of that name
};

enum {
    VIDEO_DEFAULT_WIDTH = 1920, // the picture six times enlarged
    VIDEO_DEFAULT_HEIGHT = 1080,
    VIDEO_DEFAULT_CRF = 20,
};

// Before anything is rendered: looks for ffmpeg in PATH, makes sure the
// output's directory takes a file and that ffmpeg can write the show's codecs
// into the container of its name. The picture is enlarged to width x height (a
// whole multiple of 320 x 180), crf is the encoder's quality (0 to 51, lower is
// better). Anything but VIDEO_READY has printed why.
int videoBegin(const char *path, int width, int height, int crf);

// Starts the encoder for frames of 320 x 180 pixels at fps frames a second,
// with the music file from start seconds on. 1 on success.
int videoStart(double fps, double start, long frames, const char *musicPath);

// Hands one 320 x 180 picture to the writer thread, which feeds the encoder
// while the next frame renders. 0 once the export has failed or was
// interrupted (SIGINT, SIGTERM).
int videoWriteFrame(const uint32_t *picture);

// Ends the export: waits for the encoder and puts the file in place. On
// failure reports why (with the encoder's last lines), removes the partial
// file and answers 0.
int videoFinish(void);


// Music playback: an MP3 decoder feeding our own audio callback, and a
// playback position that moves smoothly at frame rate.
#pragma once

#include <cstdint>

struct AudioStream;

enum { AUDIO_RATE = 44100 };

// Opens the default output device, paused: 1 on success, 0 when no usable
// device exists; then audioDeviceFailure() says why, in the audio system's
// words. The ALSA library's own complaints are kept off standard error.
int audioDeviceOpen(void);
const char *audioDeviceFailure(void);

// Opens an MP3 file for decoding to 44.1 kHz stereo and measures its length.
// Null when the file is missing or holds no decodable audio. Needs no device.
AudioStream *audioStreamOpen(const char *path);
double audioStreamLength(const AudioStream *stream); // seconds
void audioStreamClose(AudioStream *stream);          // never while it plays

void audioStart(void);                  // lets the device run
void audioPlay(AudioStream *stream);    // starts feeding the stream from its start

// Seconds of the stream the listener has heard: the first sample of the
// buffer last handed to the device plus the steady-clock time since that
// hand-over, less what was queued ahead of it (audioLatencySeconds), capped at
// the end of that buffer and never less than an earlier answer since the last
// seek. Call from one thread only.
double audioStreamPosition(AudioStream *stream);

// What lies between a hand-over and the listener: the device's buffer as
// obtained, plus the calibration (seconds, either sign; a positive value
// shows the picture later).
double audioLatencySeconds(void);
void audioSetCalibration(double seconds);

// The edit mode's transport. A seek moves the decoder to the sample nearest
// `seconds` (held to the stream) and the position to it; while paused the
// device plays silence, the decoder waits and the position holds, and play
// goes on from the same sample. Call from the thread that reads the position.
void audioStreamSeek(AudioStream *stream, double seconds);
void audioStreamPause(AudioStream *stream, int paused);
// Seconds the decoder has handed to the device: the position trails it by
// the latency, and by at most one buffer more.
double audioStreamDecoded(AudioStream *stream);
double audioBufferSeconds(void);

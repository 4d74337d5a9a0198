// MP3 decoding with libmpg123 inside an SDL audio callback, and the smooth
// playback position the demo's clock follows.
#include "platform/audio.h"

#include <SDL.h>
#ifndef _WIN32
#include <dlfcn.h> // Required for: dlopen(), to quiet the ALSA library SDL loads
#endif
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new> // Required for: std::nothrow

#include "platform/platform.h"

enum {
    AUDIO_CHANNELS = 2,
    AUDIO_FRAME_BYTES = AUDIO_CHANNELS * 2, // 16-bit stereo
    AUDIO_BUFFER_FRAMES = 1024,             // about 23 ms per hand-over
};

// The callback publishes each hand-over under a sequence counter so that the
// host reads a consistent triple without taking the device lock.
struct AudioHandOver {
    std::atomic<uint32_t> sequence;
    std::atomic<uint64_t> firstFrame; // first frame of the buffer handed over
    std::atomic<uint64_t> frameCount; // frames of music in that buffer
    std::atomic<uint64_t> ticks;      // steady-clock reading at the hand-over
};

struct AudioStream {
    mpg123_handle *decoder;
    uint64_t lengthFrames;
    uint64_t framesHanded; // audio thread, or the host with the device locked
    AudioHandOver handOver;
    double lastPosition;   // host thread only
    std::atomic<int> paused;
};

static SDL_AudioDeviceID audioDevice;
static std::atomic<AudioStream *> audioPlaying;
// Frames queued ahead of the listener when a buffer is handed over: the
// device's own buffer, plus the calibration set by ear (either sign).
static uint32_t audioQueuedFrames = AUDIO_BUFFER_FRAMES;
static double audioCalibration;
static char audioFailure[256];

static void audioPublish(AudioStream *stream, uint64_t first, uint64_t count, uint64_t ticks)
{
    AudioHandOver &h = stream->handOver;
    uint32_t s = h.sequence.load(std::memory_order_relaxed);
    h.sequence.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    h.firstFrame.store(first, std::memory_order_relaxed);
    h.frameCount.store(count, std::memory_order_relaxed);
    h.ticks.store(ticks, std::memory_order_relaxed);
    h.sequence.store(s + 2, std::memory_order_release);
}

static void audioCallback(void *, Uint8 *out, int length)
{
    AudioStream *stream = audioPlaying.load(std::memory_order_acquire);
    if (stream && stream->paused.load(std::memory_order_acquire)) {
        memset(out, 0, (size_t)length); // the hand-over of the pause stands: the position holds
        return;
    }
    size_t done = 0;
    if (stream) {
        // Decode until the buffer is full or the music has ended.
        while (done < (size_t)length) {
            size_t got = 0;
            int status = mpg123_read(stream->decoder, out + done, (size_t)length - done, &got);
            done += got;
            if (status != MPG123_OK && status != MPG123_NEW_FORMAT)
                break;
            if (got == 0 && status == MPG123_OK)
                break;
        }
    }
    memset(out + done, 0, (size_t)length - done);
    if (stream) {
        uint64_t frames = done / AUDIO_FRAME_BYTES;
        audioPublish(stream, stream->framesHanded, frames, platformCounter());
        stream->framesHanded += frames;
    }
}

#ifdef _WIN32
static void audioQuietAlsa(void) {} // no ALSA on Windows
#else
// ALSA prints every failed probe of a device on standard error; SDL then
// reports the one reason that matters. The library is never closed here, so
// SDL's own loading of it finds the same copy with the silent handler set.
typedef void (*AlsaErrorHandler)(const char *, int, const char *, int, const char *, ...);
static void alsaSilent(const char *, int, const char *, int, const char *, ...) {}

static void audioQuietAlsa(void)
{
    void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa)
        return; // no ALSA, no chatter
    auto setHandler = (int (*)(AlsaErrorHandler))dlsym(alsa, "snd_lib_error_set_handler");
    if (setHandler)
        setHandler(alsaSilent);
}
#endif

static int audioFail(const char *what)
{
    const char *reason = SDL_GetError();
    if (reason && *reason)
        snprintf(audioFailure, sizeof audioFailure, "%s (%s)", what, reason);
    else
        snprintf(audioFailure, sizeof audioFailure, "%s", what);
    return 0;
}

const char *audioDeviceFailure(void)
{
    return audioFailure;
}

int audioDeviceOpen(void)
{
    audioQuietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return audioFail("the audio system could not start");
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = AUDIO_RATE;
    want.format = AUDIO_S16SYS;
    want.channels = AUDIO_CHANNELS;
    want.samples = AUDIO_BUFFER_FRAMES;
    want.callback = audioCallback;
    // No allowed changes: SDL converts to whatever the device really runs at,
    // so the callback's frames are always music frames at 44.1 kHz.
    SDL_AudioSpec got;
    SDL_zero(got);
    audioDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &got, 0);
    if (!audioDevice)
        return audioFail("no audio output device could be opened");
    // SDL reports no latency of its own beyond the buffer it hands out.
    if (got.samples > 0)
        audioQueuedFrames = got.samples;
    return 1;
}

void audioSetCalibration(double seconds)
{
    audioCalibration = std::isfinite(seconds) ? seconds : 0.0;
}

double audioLatencySeconds(void)
{
    return (double)audioQueuedFrames / AUDIO_RATE + audioCalibration;
}

static bool audioDecoderReady;

AudioStream *audioStreamOpen(const char *path)
{
    if (!audioDecoderReady) {
        if (mpg123_init() != MPG123_OK)
            return nullptr;
        audioDecoderReady = true;
    }
    mpg123_handle *decoder = mpg123_new(nullptr, nullptr);
    if (!decoder)
        return nullptr;
    // One output format whatever the file holds: mpg123 resamples and mixes.
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(decoder);
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_format(decoder, AUDIO_RATE, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(decoder, path) != MPG123_OK ||
        mpg123_getformat(decoder, &rate, &channels, &encoding) != MPG123_OK ||
        rate != AUDIO_RATE || channels != AUDIO_CHANNELS || mpg123_scan(decoder) != MPG123_OK) {
        mpg123_delete(decoder);
        return nullptr;
    }
    off_t length = mpg123_length(decoder);
    if (length <= 0) {
        mpg123_delete(decoder);
        return nullptr;
    }
    AudioStream *stream = new (std::nothrow) AudioStream();
    if (!stream) {
        mpg123_delete(decoder);
        return nullptr;
    }
    stream->decoder = decoder;
    stream->lengthFrames = (uint64_t)length;
    return stream;
}

double audioStreamLength(const AudioStream *stream)
{
    return stream ? (double)stream->lengthFrames / AUDIO_RATE : 0.0;
}

void audioStreamClose(AudioStream *stream)
{
    if (!stream)
        return;
    mpg123_delete(stream->decoder);
    delete stream;
}

void audioStart(void)
{
    if (audioDevice)
        SDL_PauseAudioDevice(audioDevice, 0);
}

void audioPlay(AudioStream *stream)
{
    audioPlaying.store(stream, std::memory_order_release);
}

// The decoder is the audio thread's while the device runs.
static void audioLock(void)
{
    if (audioDevice)
        SDL_LockAudioDevice(audioDevice);
}

static void audioUnlock(void)
{
    if (audioDevice)
        SDL_UnlockAudioDevice(audioDevice);
}

// The decoder and the position to one sample: no buffer is handed over yet
// from there, so the position is exactly that sample until the next one is.
static void audioSetFrame(AudioStream *stream, uint64_t frame)
{
    off_t at = mpg123_seek(stream->decoder, (off_t)frame, SEEK_SET);
    if (at >= 0)
        frame = (uint64_t)at;
    stream->framesHanded = frame;
    audioPublish(stream, frame, 0, platformCounter());
    stream->lastPosition = (double)frame / AUDIO_RATE;
}

void audioStreamSeek(AudioStream *stream, double seconds)
{
    if (!stream)
        return;
    double frame = std::isfinite(seconds) ? std::nearbyint(seconds * AUDIO_RATE) : 0.0;
    frame = std::clamp(frame, 0.0, (double)stream->lengthFrames);
    audioLock();
    audioSetFrame(stream, (uint64_t)frame);
    audioUnlock();
}

void audioStreamPause(AudioStream *stream, int paused)
{
    if (!stream || stream->paused.load() == (paused != 0))
        return;
    if (paused) {
        // Stop where the listener is, not where the decoder ran ahead to.
        double position = audioStreamPosition(stream);
        audioLock();
        stream->paused.store(1, std::memory_order_release);
        audioSetFrame(stream, (uint64_t)std::nearbyint(position * AUDIO_RATE));
        audioUnlock();
    } else {
        audioLock();
        audioPublish(stream, stream->framesHanded, 0, platformCounter());
        stream->paused.store(0, std::memory_order_release);
        audioUnlock();
    }
}

double audioStreamDecoded(AudioStream *stream)
{
    if (!stream)
        return 0.0;
    audioLock();
    double seconds = (double)stream->framesHanded / AUDIO_RATE;
    audioUnlock();
    return seconds;
}

double audioBufferSeconds(void)
{
    return (double)AUDIO_BUFFER_FRAMES / AUDIO_RATE;
}

double audioStreamPosition(AudioStream *stream)
{
    if (!stream)
        return 0.0;
    AudioHandOver &h = stream->handOver;
    uint64_t first, count, ticks;
    uint32_t before, after;
    do {
        before = h.sequence.load(std::memory_order_acquire);
        first = h.firstFrame.load(std::memory_order_relaxed);
        count = h.frameCount.load(std::memory_order_relaxed);
        ticks = h.ticks.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        after = h.sequence.load(std::memory_order_relaxed);
    } while (before != after || (before & 1));

    // The buffer handed over at `ticks` began to sound once what was queued
    // ahead of it had played; nothing past the end of it can be heard yet.
    double position = 0.0;
    if (before != 0) {
        double played = platformSecondsSince(ticks) * AUDIO_RATE;
        double heard = (double)first + played - audioLatencySeconds() * AUDIO_RATE;
        position = std::min(heard, (double)(first + count)) / AUDIO_RATE;
        position = std::max(position, 0.0);
    }
    if (position < stream->lastPosition)
        position = stream->lastPosition;
    stream->lastPosition = position;
    return position;
}

// The music clock on SDL's dummy audio driver: a smooth, monotonic position
// and the demo clock beside it.

#include <chrono>
#include <thread>

#include "data/data.h"
#include "host/music.h"
#include "mp3gen.h"
#include "platform/audio.h"
#include "platform/platform.h"
#include "testutil.h"

static double seconds(void) { return (double)platformCounter() / (double)platformFrequency(); }

// A tone of the given length playing on the dummy device, straight through
// the audio layer; null when it cannot be made.
static AudioStream *playToneOnDummy(const TempDir &dir, double length)
{
    if (!writeToneMp3(dir / "music.mp3", length))
        return nullptr;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (audioDeviceOpen() != 1)
        return nullptr;
    AudioStream *stream = audioStreamOpen((dir / "music.mp3").c_str());
    if (!stream)
        return nullptr;
    audioStart();
    audioPlay(stream);
    return stream;
}

TEST(MusicClock, PositionMovesSmoothlyAndNeverBackwards)
{
    TempDir dir;
    ASSERT_TRUE(writeToneMp3(dir / "music.mp3", 6.5));
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    captured([&] { dataSetBasePath((dir.path() + "/").c_str()); });
    musicSetMode(MUSIC_DEVICE);
    musicStart();
    demoTimeStart();
    EXPECT_NEAR(musicLength(), 6.5, 0.06);

    struct Poll { double wall, position; };
    std::vector<Poll> polls;
    double begin = seconds();
    while (seconds() - begin < 5.0) {
        polls.push_back({seconds() - begin, musicPosition()});
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    double demo = demoTime(25.0f);

    int checked = 0, distinct = 0;
    for (size_t i = 1; i < polls.size(); i++) {
        const Poll &a = polls[i - 1], &b = polls[i];
        EXPECT_GE(b.position, a.position) << "backwards at " << b.wall;
        if (a.wall < 0.5)
            continue;
        double step = b.position - a.position, gap = b.wall - a.wall;
        // A poll that the scheduler delayed may see the position move as far
        // as the time that passed; a prompt poll must see a small step.
        EXPECT_LE(step, (gap <= 0.008 ? 0 : gap) + 0.010) << "jump at " << b.wall;
        checked += gap <= 0.008, distinct += step > 0.0;
    }
    EXPECT_GT(checked, (int)polls.size() / 2);
    // Moving at frame rate, not in buffer-sized steps (those would leave about
    // nine polls in ten unchanged); a loaded machine that starves the audio
    // thread freezes the position now and then, never more than that.
    EXPECT_GT(distinct, (int)polls.size() / 4);
    // Playback keeps pace with the clock, a starved audio thread lagging a little.
    EXPECT_LE(polls.back().position, polls.back().wall + 0.05);
    EXPECT_GE(polls.back().position, polls.back().wall * 0.8);
    EXPECT_NEAR(demo, 25.0 * polls.back().wall, 25.0 * 0.25);
}

TEST(MusicClock, SilentPlaybackFollowsTheSteadyClockAndStopsAtTheEnd)
{
    TempDir dir;
    ASSERT_TRUE(writeToneMp3(dir / "music.mp3", 0.5));
    captured([&] { dataSetBasePath((dir.path() + "/").c_str()); });
    musicSetMode(MUSIC_SILENT);
    EXPECT_EQ(musicPosition(), 0.0); // no stream yet
    musicStart();
    demoTimeStart();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    double early = musicPosition();
    EXPECT_GT(early, 0.15);
    EXPECT_LT(early, 0.45);
    EXPECT_NEAR(demoTime(25.0f), 25.0 * early, 2.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(musicPosition(), musicLength());
}

TEST(MusicClock, OfflineTimeIsTheFramesMusicTime)
{
    TempDir dir;
    ASSERT_TRUE(writeToneMp3(dir / "music.mp3", 2.0));
    captured([&] { dataSetBasePath((dir.path() + "/").c_str()); });
    musicSetMode(MUSIC_OFFLINE);
    musicSetOfflineTime(0.5);
    musicStart();
    demoTimeStart();
    EXPECT_EQ(musicPosition(), 0.5);
    musicSetOfflineTime(1.25);
    EXPECT_EQ(musicPosition(), 1.25);
    EXPECT_EQ(demoTime(25.0f), 1.25 * 25.0); // counted from music time 0
    musicSetOfflineTime(99.0);
    EXPECT_EQ(musicPosition(), musicLength());
}

// The edit mode's transport on the dummy device: after any number of seeks,
// pauses and plays, the position the clock reports and the sample the
// decoder has reached stay within one buffer of each other, a seek lands on
// its sample, and a pause holds the position to the sample.
TEST(MusicClock, SeeksAndPausesKeepTheClockWithTheDecoder)
{
    TempDir dir;
    AudioStream *stream = playToneOnDummy(dir, 8.0);
    ASSERT_NE(stream, nullptr);
    std::mt19937 random(17);
    std::uniform_real_distribution<double> anywhere(0.0, 7.5);
    const double buffer = audioBufferSeconds(), sample = 1.0 / AUDIO_RATE;
    int moved = 0;
    for (int i = 0; i < 50; i++) {
        double target = anywhere(random);
        audioStreamSeek(stream, target);
        // There, unless the device already took a buffer or two from there.
        const double landed = audioStreamPosition(stream);
        EXPECT_GE(landed, target - sample) << "seek " << i;
        EXPECT_LE(landed, target + 2 * buffer) << "seek " << i;
        // The sound from the seek on is heard once the queue ahead of it has played.
        std::this_thread::sleep_for(std::chrono::duration<double>(audioLatencySeconds() + 0.010 + i % 4 * 0.015));
        if (i % 5 == 4) { // a pause holds to the sample, and play goes on from it
            audioStreamPause(stream, 1);
            double held = audioStreamPosition(stream);
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            EXPECT_EQ(audioStreamPosition(stream), held) << "pause " << i;
            EXPECT_NEAR(audioStreamDecoded(stream), held, sample) << "pause " << i;
            audioStreamPause(stream, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        // The decoder read before and after the clock, since the audio thread
        // may hand over a buffer in between: the clock lies within the queue
        // and one buffer behind the first reading and never ahead of the second.
        double before = audioStreamDecoded(stream), position = audioStreamPosition(stream),
               after = audioStreamDecoded(stream);
        EXPECT_GE(position, before - audioLatencySeconds() - buffer - sample) << "after seek " << i << " to " << target;
        EXPECT_LE(position, after + sample) << "after seek " << i << " to " << target;
        EXPECT_GE(position, target - sample) << "after seek " << i;
        moved += position > target + 0.005;
    }
    EXPECT_GT(moved, 25); // the music played on between the seeks
    // Past the end and before the start, the seek holds to the music.
    audioStreamSeek(stream, 1e9);
    EXPECT_NEAR(audioStreamPosition(stream), audioStreamLength(stream), sample);
    audioStreamSeek(stream, -3.0);
    EXPECT_EQ(audioStreamPosition(stream), 0.0);
}

TEST(MusicClock, SilentSeeksAndPauses)
{
    TempDir dir;
    ASSERT_TRUE(writeToneMp3(dir / "music.mp3", 4.0));
    captured([&] { dataSetBasePath((dir.path() + "/").c_str()); });
    musicSetMode(MUSIC_SILENT);
    musicStart();
    musicSeek(2.0);
    musicPause(1);
    double held = musicPosition();
    EXPECT_NEAR(held, 2.0, 0.05);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(musicPosition(), held);
    musicPause(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GT(musicPosition(), held + 0.05);
    EXPECT_LT(musicPosition(), held + 0.5);
    musicSeek(99.0);
    EXPECT_EQ(musicPosition(), musicLength());
}

// What the listener hears lags what was decoded by the device's queue, the
// buffer obtained (or that plus the calibration set by ear): between the queue
// alone, just before a hand-over, and the queue and the buffer just after one.
TEST(MusicClock, PositionTrailsTheDecoderByWhatIsQueued)
{
    TempDir dir;
    AudioStream *stream = playToneOnDummy(dir, 6.0);
    ASSERT_NE(stream, nullptr);
    const double buffer = audioBufferSeconds(), sample = 1.0 / AUDIO_RATE;
    for (double calibration : {0.0, 0.040}) {
        SCOPED_TRACE(calibration);
        audioSetCalibration(calibration);
        const double queued = buffer + calibration; // the dummy device takes the buffer asked for
        EXPECT_NEAR(audioLatencySeconds(), queued, 1e-9);
        audioStreamSeek(stream, 1.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // past the hold at the seek target
        std::vector<double> lags(300);
        for (double &lag : lags) {
            lag = -audioStreamPosition(stream) + audioStreamDecoded(stream);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        std::sort(lags.begin(), lags.end());
        // A starved audio thread lets the queue drain now and then, no more.
        EXPECT_GE(lags[lags.size() / 10], queued - 2 * sample);
        EXPECT_NEAR(lags[lags.size() / 2], queued + buffer / 2, buffer * 0.3);
        EXPECT_LE(lags[lags.size() * 9 / 10], queued + buffer + 0.002);
    }
    audioSetCalibration(0.0);
}

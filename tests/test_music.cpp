// The music clock on SDL's dummy audio driver: a smooth, monotonic position
// and the demo clock beside it.

#include <chrono>
#include <thread>

#include "data/data.h"
#include "host/music.h"
#include "mp3gen.h"
#include "platform/platform.h"
#include "testutil.h"

static double seconds(void) { return (double)platformCounter() / (double)platformFrequency(); }

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

// Real-window behaviour under an X server (the test runs under Xvfb): the
// presented picture on screen, the window's place, close requests, and the
// missing audio device of a windowed run (missing music fails as in a
// capture run: the program tests).

#include <chrono>
#include <thread>

#include "host/screen.h"
#include "mp3gen.h"
#include "testutil.h"
#include "xwindow.h"

// Mesa and X11 keep allocations until exit that are not ours to free.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

static const char *const kWindowTitle = "Rendering Window";

static void pattern(uint32_t *frame)
{
    for (int y = 0; y < FRAME_HEIGHT; y++) {
        for (int x = 0; x < FRAME_WIDTH; x++) {
            bool bar = y < 30 || y >= 210;
            // Every shown pixel differs from its neighbours in all channels;
            // the fourth byte varies and must not matter.
            uint32_t v = (uint32_t)(x * 7919 + y * 104729) * 2654435761u;
            frame[y * FRAME_WIDTH + x] = bar ? 0x00FF00FFu : v;
        }
    }
}

TEST(Window, PresentsThePictureEnlargedSixTimesAt0And64)
{
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under an X server";
    Screen *screen = screenCreate();
    ASSERT_NE(screen, nullptr);
    pattern(screen->buffer0);

    XWindowInfo window;
    int mismatches = -1;
    // The first presentations may come before the server has mapped the window.
    for (int attempt = 0; attempt < 40 && mismatches != 0; attempt++) {
        screenPresent();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        window = xFindWindow(kWindowTitle);
        if (!window.found)
            continue;
        std::vector<uint32_t> shot = xGrab(0, 64, 1920, 1080);
        if (shot.empty())
            continue;
        mismatches = 0;
        for (int y = 0; y < 1080; y++) {
            for (int x = 0; x < 1920; x++) {
                uint32_t want = screen->buffer0[(30 + y / 6) * FRAME_WIDTH + x / 6] & 0xFFFFFFu;
                mismatches += shot[(size_t)y * 1920 + x] != want;
            }
        }
    }
    ASSERT_TRUE(window.found) << "no window titled " << kWindowTitle;
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ((std::vector<int>{window.x, window.y, window.width, window.height, window.border}),
              (std::vector<int>{0, 64, 1920, 1080, 0})) << "x, y, width, height, border";
}

class WindowedRun : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(addProductionAssets(root / "Vantorel")) << "needs the production tree";
        ASSERT_TRUE(makeDirs(root / "run"));
    }
    RunResult start(const std::vector<std::string> &args, const char *audioDriver)
    {
        return runVantorel(root / "run", args, {{"SDL_AUDIODRIVER", audioDriver}, {"ASAN_OPTIONS", "detect_leaks=0"}},
                           120.0);
    }
    TempDir root;
};

TEST_F(WindowedRun, CloseRequestEndsTheLoopAndTheRunSucceeds)
{
    ASSERT_TRUE(writeToneMp3(root / "Vantorel/music.mp3", 20.0));
    for (const char *args : {"", "--no-sound", "--quiet"}) {
        SCOPED_TRACE(*args ? args : "no options");
        // The program runs in a child; this thread closes its window.
        RunResult result;
        std::thread runner([&] { result = start(args[0] ? std::vector<std::string>{args} : std::vector<std::string>{},
                                                strcmp(args, "--no-sound") ? "dummy" : "nonexistent"); });
        bool sent = false;
        for (int i = 0; i < 200 && !sent; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            sent = xRequestClose(kWindowTitle);
        }
        runner.join();
        EXPECT_TRUE(sent);
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        EXPECT_NE(result.out.find("frames: "), std::string::npos) << result.out;
        // The summary is the last line, quiet or not.
        const size_t last = result.out.rfind('\n', result.out.size() - 2) + 1;
        EXPECT_EQ(result.out.compare(last, 8, "frames: "), 0) << result.out;
    }
}

TEST_F(WindowedRun, NoUsableAudioDeviceEndsWithExitTen)
{
    ASSERT_TRUE(writeToneMp3(root / "Vantorel/music.mp3", 1.0));
    // No such driver, and ALSA without a card (which probes loudly): the audio
    // system's reason and the way out, without ALSA's own lines.
    for (const char *driver : {"nonexistent", "alsa"}) {
        SCOPED_TRACE(driver);
        RunResult r = start({}, driver);
        EXPECT_EQ(r.exitCode, 10);
        EXPECT_NE(r.out.find("Failed to initialize BASS\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("BASS stream"), std::string::npos);
        EXPECT_NE(r.err.find(strcmp(driver, "alsa") ? "not available); run with --no-sound to play without sound.\n"
                                                    : "(ALSA: "),
                  std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("ALSA lib"), std::string::npos) << r.err;
    }
}

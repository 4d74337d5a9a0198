// Real-window behaviour under an X server (the test runs under Xvfb): the
// presented picture on screen, the window's place and the display modes at
// the usual display sizes, frame pacing, close requests, and the
// missing audio device of a windowed run (missing music fails as in a
// capture run: the program tests).

#include <sys/resource.h> // Required for: getrusage(RUSAGE_THREAD)

#include <atomic>
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
        if (window.found)
            mismatches = (int)xCountDiffering(0, 64, 1920, 1080, screen->buffer0 + 30 * FRAME_WIDTH, FRAME_WIDTH,
                                              PICTURE_ROWS, 0, 64, 6);
    }
    ASSERT_TRUE(window.found) << "no window titled " << kWindowTitle;
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ((std::vector<int>{window.x, window.y, window.width, window.height, window.border}),
              (std::vector<int>{0, 64, 1920, 1080, 0})) << "x, y, width, height, border";
}

// The display modes on the X screen this group runs on: one Xvfb per size.
struct DisplaySize {
    int width, height;
    int plainX, plainY, plainZoom; // the plain window: moved up to fit, smaller where it must be
    int fullZoom;                  // full screen: the largest whole enlargement
};
static const DisplaySize kDisplaySizes[] = {
    {1280, 720, 0, 0, 4, 4},    {1366, 768, 0, 48, 4, 4},   {1920, 1080, 0, 0, 6, 6},
    {2560, 1440, 0, 64, 6, 8},  {3840, 2160, 0, 64, 6, 12},
};

class DisplayModes : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(xScreenSize(&width, &height)) << "run under an X server";
        for (const DisplaySize &d : kDisplaySizes)
            if (d.width == width && d.height == height)
                size = &d;
        ASSERT_NE(size, nullptr) << "no expectations for a " << width << " x " << height << " screen";
    }
    void TearDown() override { screenDestroy(); }

    // Opens the screen as asked, presents the pattern until the server shows
    // it, and counts the pixels of the rectangle (x, y, w, h) of the X screen
    // that differ from the picture enlarged zoom times by pixel repetition at
    // (px, py), black around it.
    int showAndCompare(const ScreenDisplay &request, const std::array<int, 4> &rect, int px, int py, int zoom)
    {
        screenSetDisplay(&request);
        Screen *screen = screenCreate();
        if (!screen)
            return -1;
        pattern(screen->buffer0);
        int mismatches = -1;
        for (int attempt = 0; attempt < 40 && mismatches != 0; attempt++) {
            screenPresent();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            window = xFindWindow(kWindowTitle);
            if (window.found)
                mismatches = (int)xCountDiffering(rect[0], rect[1], rect[2], rect[3],
                                                  screen->buffer0 + 30 * FRAME_WIDTH, FRAME_WIDTH, PICTURE_ROWS, px,
                                                  py, zoom);
        }
        return mismatches;
    }
    std::array<int, 4> windowRect() const { return {window.x, window.y, window.width, window.height}; }

    int width = 0, height = 0;
    const DisplaySize *size = nullptr;
    XWindowInfo window;
};

TEST_F(DisplayModes, PlainWindowLiesWhollyOnTheDisplay)
{
    int z = size->plainZoom;
    std::array<int, 4> rect = {size->plainX, size->plainY, FRAME_WIDTH * z, PICTURE_ROWS * z};
    testing::internal::CaptureStderr();
    EXPECT_EQ(showAndCompare(ScreenDisplay(), rect, rect[0], rect[1], z), 0);
    std::string note = testing::internal::GetCapturedStderr();
    EXPECT_EQ(windowRect(), rect);
    // A window smaller than the plain one is explained.
    if (z < SCREEN_ZOOM)
        EXPECT_EQ(note, "The display is " + std::to_string(width) + " x " + std::to_string(height) + ": the picture is shown " +
                            std::to_string(z) + " times enlarged in a " + std::to_string(rect[2]) + " x " +
                            std::to_string(rect[3]) + " window (--fullscreen fills the display).\n");
    else
        EXPECT_EQ(note, "");
}

TEST_F(DisplayModes, ZoomedWindowOfTwiceThePicture)
{
    std::array<int, 4> rect = {0, 64, 640, 360};
    EXPECT_EQ(showAndCompare({SCREEN_WINDOWED, 2, 0, 0}, rect, 0, 64, 2), 0);
    EXPECT_EQ(windowRect(), rect);
}

TEST_F(DisplayModes, FullScreenEnlargesByTheLargestWholeFactorCentredOnBlack)
{
    int z = size->fullZoom;
    int px = (width - FRAME_WIDTH * z) / 2, py = (height - PICTURE_ROWS * z) / 2;
    EXPECT_EQ(showAndCompare({SCREEN_FULLSCREEN, 0, 0, 0}, {0, 0, width, height}, px, py, z), 0);
    EXPECT_EQ(windowRect(), (std::array<int, 4>{0, 0, width, height}));
    EXPECT_TRUE(xPointerHidden()); // the server puts the pointer in the middle: over the show
}


// Xvfb's swaps never wait and it tells no refresh rate: the loop must hold
// itself to the assumed 60 Hz instead of spinning.
TEST(Pacing, LiveFramesFollowTheRefreshWithoutSpinning)
{
    Screen *screen = screenCreate();
    ASSERT_NE(screen, nullptr);
    pattern(screen->buffer0);
    rusage before, after;
    getrusage(RUSAGE_THREAD, &before);
    auto began = std::chrono::steady_clock::now();
    int frames = 0;
    double seconds = 0.0;
    for (; seconds < 5.0; frames++) {
        screenPresent();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    }
    getrusage(RUSAGE_THREAD, &after);
    auto cpu = [](const rusage &r) {
        return (double)(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
    };
    EXPECT_NEAR(frames / seconds, SCREEN_REFRESH_GUESS, SCREEN_REFRESH_GUESS * 0.1);
    // A spinning loop would take the whole core.
    EXPECT_LT((cpu(after) - cpu(before)) / seconds, 0.5);
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

// A live run of the whole program never draws more than one frame per
// refresh (Xvfb tells no rate, so the guess): it does not spin a core.
TEST_F(WindowedRun, LiveRunDrawsNoMoreThanAFramePerRefresh)
{
    TempDir show; // the show's own opening, light to draw
    ASSERT_TRUE(copyProductionTree(show / "Vantorel") && makeDirs(show / "run"));
    RunResult result;
    std::atomic<bool> ended{false};
    std::thread runner([&] {
        result = runVantorel(show / "run", {"--no-sound"}, {{"ASAN_OPTIONS", "detect_leaks=0"}}, 240.0);
        ended = true;
    });
    // However slowly a loaded machine or a sanitizer build starts, the window
    // is waited for as long as the run lives.
    bool shown = false, sent = false;
    while (!shown && !ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        shown = xFindWindow(kWindowTitle).found;
    }
    const int seconds = 8;
    if (shown)
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
    while (shown && !sent && !ended) {
        sent = xRequestClose(kWindowTitle);
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    runner.join();
    auto tail = [](const std::string &text) { return text.substr(text.size() > 3000 ? text.size() - 3000 : 0); };
    ASSERT_TRUE(shown && sent) << "exit code " << result.exitCode << ", signal " << result.signal << "\n"
                               << tail(result.out) << "\n" << tail(result.err);
    ASSERT_EQ(result.exitCode, 0) << tail(result.out) << "\n" << tail(result.err);
    const size_t at = result.out.rfind("frames: ");
    ASSERT_NE(at, std::string::npos) << result.out;
    // Frames drawn after the close request was sent only add to the count.
    const int frames = atoi(result.out.c_str() + at + 8);
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames / (double)seconds, SCREEN_REFRESH_GUESS * 1.1);
}

TEST_F(WindowedRun, DisplayTheDesktopLacksIsRefusedAsABadOption)
{
    ASSERT_TRUE(writeToneMp3(root / "Vantorel/music.mp3", 1.0));
    RunResult r = start({"--display", "3", "--no-sound"}, "dummy");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("vantorel: --display 3: the desktop has 1 display, numbered from 0\n"), std::string::npos)
        << r.err;
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

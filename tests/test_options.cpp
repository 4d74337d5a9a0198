// Command-line options: what runs, what is refused with a usage message.
#include "testutil.h"

#include <list>

#include "host/options.h"

// The options point into the arguments, so every argument list is kept.
static std::list<std::vector<std::string>> keptArgs;

static int parse(std::vector<std::string> args, HostOptions *options, std::string *err = nullptr,
                 std::string *out = nullptr)
{
    args.insert(args.begin(), "vantorel");
    std::vector<std::string> &kept = keptArgs.emplace_back(std::move(args));
    std::vector<char *> argv;
    for (std::string &a : kept)
        argv.push_back(a.data());
    testing::internal::CaptureStderr();
    int result = 0;
    std::string printed = captured([&] { result = hostParseOptions((int)argv.size(), argv.data(), options); });
    if (out)
        *out = printed;
    printed = testing::internal::GetCapturedStderr();
    if (err)
        *err = printed;
    return result;
}

TEST(Options, CaptureWithTimingInBothSpellings)
{
    const struct { std::vector<std::string> args; const char *capture, *video, *benchJson; // {} for none
                   std::array<double, 3> fpsStartDuration; int bench, noSound; } cases[] = {
        {{"--capture", "out", "--fps=60", "--start", "1.5", "--duration=2"}, "out", {}, {}, {60, 1.5, 2}, 0, 0},
        {{"-release", "--capture=dir", "-rebuild", "stray"}, "dir", {}, {}, {30, 0, 0}, 0, 0},
        {{"--video", "show.mp4", "--fps=60"}, {}, "show.mp4", {}, {60, 0, 0}, 0, 0},
        {{}, {}, {}, {}, {30, 0, 0}, 0, 0}, {{"--no-sound"}, {}, {}, {}, {30, 0, 0}, 0, 1},
        {{"--bench", "--fps", "60"}, {}, {}, {}, {60, 0, 0}, 1, 0},
        {{"--bench-json=b.json", "--start", "61"}, {}, {}, "b.json", {30, 61, 0}, 1, 0},
        {{"--capture", "c", "--start", "61", "--cold-start"}, "c", {}, {}, {30, 61, 0}, 0, 0}};
    HostOptions o;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(parse(c.args, &o), OPTIONS_RUN);
        EXPECT_STREQ(o.captureDir, c.capture);
        EXPECT_STREQ(o.videoFile, c.video);
        EXPECT_STREQ(o.benchJson, c.benchJson);
        EXPECT_EQ((std::array<double, 3>{o.fps, o.start, o.duration}), c.fpsStartDuration);
        EXPECT_EQ(o.bench, c.bench);
        EXPECT_EQ(o.noSound, c.noSound);
    }
}

TEST(Options, HelpAndBadOptions)
{
    HostOptions o;
    EXPECT_EQ(parse({"--help"}, &o), OPTIONS_DONE);
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"}, {"--capture"}, {"--capture", ""}, {"--capture", "d", "--fps", "0"}, {"--capture", "d", "--fps", "abc"},
        {"--capture", "d", "--fps", "nan"}, {"--capture", "d", "--start", "-1"}, {"--capture", "d", "--duration", "0"},
        {"--capture", "d", "--duration", "2s"}, {"--fps", "30"}, {"--video", ""}, {"--video", "v.mp4", "--capture", "d"},
        {"--no-sound=1"}, {"--bench=1"}, {"--bench-json"}, {"--bench-json", ""}, {"--bench", "--capture", "d"},
        {"--bench-json", "b.json", "--video", "v.mp4"}, {"--cold-start"}, {"--capture", "d", "--cold-start=1"},
        {"-release", "--edit"}, {"--edit", "--capture", "d"}, {"--edit", "--bench"}, {"--control", "c"}, {"--edit=1"},
        {"--edit", "--control"}, {"--edit", "--control", ""}, {"--edit", "--fps", "60"}, {"--start", "5"},
        {"--overwrite"}, {"--video", "v.mp4", "--overwrite"}, {"--capture", "d", "--overwrite=1"},
        {"--video", "v.mp4", "--video-size", "1000x1000"}, {"--video", "v.mp4", "--video-size", "1920x1080x"},
        {"--video", "v.mp4", "--video-size", "3840"}, {"--capture", "d", "--video-size", "1280x720"},
        {"--video", "v.mp4", "--crf", "52"}, {"--video", "v.mp4", "--crf", "-1"}, {"--video", "v.mp4", "--crf", "20.5"},
        {"--bench", "--crf", "20"},
        {"--quiet=1"}, {"--audio-offset", "x"}, {"--audio-offset", "20000"}, {"--capture", "d", "--audio-offset", "5"}};
    for (const auto &args : bad)
        EXPECT_EQ(parse(args, &o), OPTIONS_USAGE) << args[0] << (args.size() > 1 ? " " + args[1] : "");
}

TEST(Options, VideoSizeCrfAndOverwrite)
{
    const struct { std::vector<std::string> args; int width, height, crf, overwrite; } cases[] = {
        {{"--video", "v.mp4"}, 1920, 1080, 20, 0},
        {{"--video", "v.mp4", "--video-size", "3840x2160", "--crf=0"}, 3840, 2160, 0, 0},
        {{"--video", "v.mp4", "--video-size=1280x720", "--crf", "51"}, 1280, 720, 51, 0},
        {{"--video", "v.mp4", "--video-size", "2560x1440"}, 2560, 1440, 20, 0},
        {{"--capture", "d", "--overwrite"}, 1920, 1080, 20, 1}};
    HostOptions o;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(parse(c.args, &o), OPTIONS_RUN);
        EXPECT_EQ((std::array<int, 4>{o.videoWidth, o.videoHeight, o.crf, o.overwrite}),
                  (std::array<int, 4>{c.width, c.height, c.crf, c.overwrite}));
    }
}

TEST(Options, RunModeIsAnyCaseAnywhereAndNeverTheProgramName)
{
    const struct { std::vector<std::string> args; int release, rebuild; } cases[] = {
        {{"-RELEASE"}, 1, 0}, {{"x", "-Release"}, 1, 0}, {{"--capture", "-release"}, 1, 0}, // even as a value
        {{"-ReBuild"}, 0, 1}, {{"release", "--release=1"}, 0, 0}, {{}, 0, 0}};
    for (const auto &c : cases) {
        HostOptions o;
        parse(c.args, &o);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(o.release, c.release);
        EXPECT_EQ(o.rebuild, c.rebuild);
    }
    // The program's own name is never an argument: parse() puts "vantorel" first.
    HostOptions o;
    std::string name = "-release";
    char *argv[] = {name.data()};
    captured([&] { hostParseOptions(1, argv, &o); });
    EXPECT_EQ(o.release, 0);
}

TEST(Options, EditModeBeginsAtStartWithItsControlSocket)
{
    HostOptions o;
    ASSERT_EQ(parse({"--edit"}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.edit, 1);
    EXPECT_STREQ(o.controlPath, "vantorel-control");
    EXPECT_EQ(o.start, 0.0);
    ASSERT_EQ(parse({"--edit", "--start=61.5", "--control", "/tmp/c", "--no-sound", "--audio-offset", "-40", "--quiet"},
                    &o), OPTIONS_RUN);
    EXPECT_STREQ(o.controlPath, "/tmp/c");
    EXPECT_EQ(o.start, 61.5);
    EXPECT_EQ(o.noSound, 1);
    EXPECT_EQ(o.audioOffsetMs, -40.0);
    EXPECT_EQ(o.quiet, 1);
}

// One-dash words are not options: the usage for the three ways of asking for
// it, a warning naming any other and the option it was probably meant to be.
TEST(Options, OneDashWordsAnswerHelpOrAreWarnedAbout)
{
    const struct { std::vector<std::string> args; int result; const char *err; } cases[] = {
        {{"-h"}, OPTIONS_DONE, ""}, {{"-help"}, OPTIONS_DONE, ""}, {{"-?"}, OPTIONS_DONE, ""},
        {{"-relase"}, OPTIONS_RUN, "vantorel: ignoring the unknown argument -relase (did you mean -release?)\n"},
        {{"-REBILD"}, OPTIONS_RUN, "vantorel: ignoring the unknown argument -REBILD (did you mean -rebuild?)\n"},
        {{"-capture", "d"}, OPTIONS_RUN, "vantorel: ignoring the unknown argument -capture (did you mean --capture?)\n"},
        {{"-xyzzy"}, OPTIONS_RUN, "vantorel: ignoring the unknown argument -xyzzy; see --help\n"},
        {{"-Release", "-rebuild", "plain", "--audio-offset", "-40"}, OPTIONS_RUN, ""}}; // a value is no word
    for (const auto &c : cases) {
        HostOptions o;
        std::string err, out;
        EXPECT_EQ(parse(c.args, &o, &err, &out), c.result) << c.args[0];
        EXPECT_EQ(err, c.err) << c.args[0];
        EXPECT_EQ(out.rfind("Usage:", 0) == 0, c.result == OPTIONS_DONE) << c.args[0];
    }
}

TEST(Options, DisplayOptionsBelongToTheWindow)
{
    const struct { std::vector<std::string> args; std::array<int, 4> fullscreenZoomDisplayNoVsync; } cases[] = {
        {{}, {0, 0, 0, 0}}, {{"--fullscreen", "--display", "1"}, {1, 0, 1, 0}}, {{"--zoom=3"}, {0, 3, 0, 0}},
        {{"--edit", "--zoom", "2", "--no-vsync"}, {0, 2, 0, 1}}, {{"--no-sound", "--display=0"}, {0, 0, 0, 0}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        HostOptions o;
        EXPECT_EQ(parse(c.args, &o), OPTIONS_RUN);
        EXPECT_EQ((std::array<int, 4>{o.fullscreen, o.zoom, o.display, o.noVsync}), c.fullscreenZoomDisplayNoVsync);
    }
    const std::vector<std::vector<std::string>> bad = {
        {"--zoom", "0"}, {"--zoom", "2.5"}, {"--zoom", "65"}, {"--zoom"}, {"--display", "-1"}, {"--display", "x"},
        {"--fullscreen=1"}, {"--no-vsync=0"}, {"--fullscreen", "--zoom", "2"}, {"--capture", "d", "--fullscreen"},
        {"--video", "v.mp4", "--zoom", "2"}, {"--bench", "--no-vsync"}, {"--bench", "--display", "1"}};
    for (const auto &args : bad) {
        HostOptions o;
        EXPECT_EQ(parse(args, &o), OPTIONS_USAGE) << testing::PrintToString(args);
    }
}

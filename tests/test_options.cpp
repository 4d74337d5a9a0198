// Command-line options: what runs, what is refused with a usage message.
#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/options.h"

// The options point into the arguments, so every argument list is kept.
static std::list<std::vector<std::string>> keptArgs;

static int parse(std::vector<std::string> args, HostOptions *options)
{
    args.insert(args.begin(), "vantorel");
    std::vector<std::string> &kept = keptArgs.emplace_back(std::move(args));
    std::vector<char *> argv;
    for (std::string &a : kept)
        argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int result = hostParseOptions((int)argv.size(), argv.data(), options);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return result;
}

TEST(Options, CaptureWithTimingInBothSpellings)
{
    HostOptions o;
    ASSERT_EQ(parse({"--capture", "out", "--fps=60", "--start", "1.5", "--duration=2"}, &o), OPTIONS_RUN);
    EXPECT_STREQ(o.captureDir, "out");
    EXPECT_EQ(o.fps, 60.0);
    EXPECT_EQ(o.start, 1.5);
    EXPECT_EQ(o.duration, 2.0);

    ASSERT_EQ(parse({"-release", "--capture=dir", "-rebuild", "stray"}, &o), OPTIONS_RUN);
    EXPECT_STREQ(o.captureDir, "dir");
    EXPECT_EQ(o.fps, 30.0);
    EXPECT_EQ(o.duration, 0.0);
    EXPECT_EQ(o.noSound, 0);

    ASSERT_EQ(parse({"--video", "show.mp4", "--fps=60"}, &o), OPTIONS_RUN);
    EXPECT_STREQ(o.videoFile, "show.mp4");
    EXPECT_EQ(o.fps, 60.0);

    ASSERT_EQ(parse({}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.captureDir, nullptr);
    EXPECT_EQ(o.videoFile, nullptr);
    ASSERT_EQ(parse({"--no-sound"}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.noSound, 1);
}

TEST(Options, HelpAndBadOptions)
{
    HostOptions o;
    EXPECT_EQ(parse({"--help"}, &o), OPTIONS_DONE);
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--capture"},
        {"--capture", ""},
        {"--capture", "d", "--fps", "0"},
        {"--capture", "d", "--fps", "abc"},
        {"--capture", "d", "--fps", "nan"},
        {"--capture", "d", "--start", "-1"},
        {"--capture", "d", "--duration", "0"},
        {"--capture", "d", "--duration", "2s"},
        {"--fps", "30"},
        {"--video", ""},
        {"--video", "v.mp4", "--capture", "d"},
        {"--no-sound=1"},
    };
    for (const auto &args : bad)
        EXPECT_EQ(parse(args, &o), OPTIONS_USAGE) << args[0] << (args.size() > 1 ? " " + args[1] : "");
}

TEST(Options, ReleaseIsAnyCaseAndNeverTheProgramName)
{
    std::vector<std::string> args = {"-release", "x", "-RELEASE", "-Release"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    EXPECT_EQ(hostIsRelease(1, argv.data()), 0); // argv[0] alone
    EXPECT_EQ(hostIsRelease(3, argv.data()), 1);
    EXPECT_EQ(hostIsRelease(2, argv.data() + 2), 1);
    EXPECT_EQ(hostIsRelease(2, argv.data()), 0);
}

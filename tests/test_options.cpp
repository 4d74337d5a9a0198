// Command-line options: what runs, what is refused with a usage message.
#include "testutil.h"

#include <list>

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
    testing::internal::CaptureStderr();
    int result = 0;
    captured([&] { result = hostParseOptions((int)argv.size(), argv.data(), options); });
    return testing::internal::GetCapturedStderr(), result;
}

TEST(Options, CaptureWithTimingInBothSpellings)
{
    HostOptions o;
    ASSERT_EQ(parse({"--capture", "out", "--fps=60", "--start", "1.5", "--duration=2"}, &o), OPTIONS_RUN);
    EXPECT_TRUE(!strcmp(o.captureDir, "out") && o.fps == 60.0 && o.start == 1.5 && o.duration == 2.0);

    ASSERT_EQ(parse({"-release", "--capture=dir", "-rebuild", "stray"}, &o), OPTIONS_RUN);
    EXPECT_TRUE(!strcmp(o.captureDir, "dir") && o.fps == 30.0 && o.duration == 0.0 && o.noSound == 0);

    ASSERT_EQ(parse({"--video", "show.mp4", "--fps=60"}, &o), OPTIONS_RUN);
    EXPECT_TRUE(!strcmp(o.videoFile, "show.mp4") && o.fps == 60.0);

    ASSERT_EQ(parse({}, &o), OPTIONS_RUN);
    EXPECT_TRUE(!o.captureDir && !o.videoFile);
    EXPECT_TRUE(parse({"--no-sound"}, &o) == OPTIONS_RUN && o.noSound == 1);
    ASSERT_EQ(parse({"--bench", "--fps", "60"}, &o), OPTIONS_RUN);
    EXPECT_TRUE(o.bench == 1 && !o.benchJson && o.fps == 60.0);
    ASSERT_EQ(parse({"--bench-json=b.json", "--start", "61"}, &o), OPTIONS_RUN);
    EXPECT_TRUE(o.bench == 1 && !strcmp(o.benchJson, "b.json") && o.start == 61.0);
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
        {"--bench-json", "b.json", "--video", "v.mp4"}};
    for (const auto &args : bad)
        EXPECT_EQ(parse(args, &o), OPTIONS_USAGE) << args[0] << (args.size() > 1 ? " " + args[1] : "");
}

TEST(Options, RunModeIsAnyCaseAnywhereAndNeverTheProgramName)
{
    const struct { std::vector<std::string> args; int release, rebuild; } cases[] = {
        {{"-RELEASE"}, 1, 0}, {{"x", "-Release"}, 1, 0}, {{"--capture", "-release"}, 1, 0}, // even as a value
        {{"-ReBuild"}, 0, 1}, {{"release", "--release=1"}, 0, 0}, {{}, 0, 0}};
    for (const auto &c : cases) {
        HostOptions o;
        parse(c.args, &o);
        SCOPED_TRACE(c.args.empty() ? std::string("no arguments") : c.args[0]);
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

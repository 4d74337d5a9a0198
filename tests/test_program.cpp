// The whole program without a display: offline capture runs, start-up output,
// music failures, options and the missing-display path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mp3gen.h"
#include "testutil.h"

// An asset tree "Vantorel/" beside the working directory "run/", as the
// development run expects ("../Vantorel/").
class ProgramRun : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeDirs(root / "Vantorel"));
        ASSERT_TRUE(makeDirs(run()));
    }
    std::string run() const { return root / "run"; }
    void addMusic(double seconds) { ASSERT_TRUE(writeToneMp3(root / "Vantorel/music.mp3", seconds)); }

    // Offline runs never need a display or a sound device.
    RunResult capture(const std::vector<std::string> &args)
    {
        return runVantorel(run(), args, {{"DISPLAY", ""}, {"SDL_AUDIODRIVER", ""}, {"ASAN_OPTIONS", "detect_leaks=0"}});
    }
    TempDir root;
};

static std::vector<std::string> frameNames(int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; i++) {
        char name[32];
        snprintf(name, sizeof name, "frame_%06d.png", i);
        names.push_back(name);
    }
    return names;
}

TEST_F(ProgramRun, CaptureWritesNumberedFramesIdenticallyTwice)
{
    addMusic(3.0);
    RunResult a = capture({"--capture", "a", "--fps", "10", "--duration", "2"});
    ASSERT_EQ(a.exitCode, 0) << a.out << a.err;
    EXPECT_EQ(listDir(run() + "/a"), frameNames(20));

    RunResult b = capture({"--capture", "b", "--fps", "10", "--duration", "2"});
    ASSERT_EQ(b.exitCode, 0) << b.out << b.err;
    for (const std::string &name : frameNames(20))
        ASSERT_EQ(readFile(run() + "/a/" + name), readFile(run() + "/b/" + name)) << name;

    // 320 x 180, 8-bit RGB.
    std::string png = readFile(run() + "/a/frame_000000.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    const unsigned char *ihdr = (const unsigned char *)png.data() + 16;
    EXPECT_EQ((ihdr[0] << 24 | ihdr[1] << 16 | ihdr[2] << 8 | ihdr[3]), 320);
    EXPECT_EQ((ihdr[4] << 24 | ihdr[5] << 16 | ihdr[6] << 8 | ihdr[7]), 180);
    EXPECT_EQ(ihdr[8], 8); // bit depth
    EXPECT_EQ(ihdr[9], 2); // colour type RGB

    EXPECT_NE(a.out.find("[timerCreateNode :  239]\"Created frame\"\n"), std::string::npos) << a.out;
    EXPECT_NE(a.out.find("frames: 20, frame time mean"), std::string::npos) << a.out;
}

TEST_F(ProgramRun, CaptureRunsToTheEndOfTheMusicByDefault)
{
    addMusic(1.0);
    RunResult r = capture({"--capture", "all", "--fps", "20"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(listDir(run() + "/all"), frameNames(20));

    RunResult late = capture({"--capture", "late", "--fps", "20", "--start", "0.5"});
    ASSERT_EQ(late.exitCode, 0) << late.out << late.err;
    EXPECT_EQ(listDir(run() + "/late"), frameNames(10));
}

TEST_F(ProgramRun, StartUpAnnouncesTheBasePathOfEachMode)
{
    addMusic(1.0);
    RunResult dev = capture({"--capture", "dev", "--duration", "0.1"});
    ASSERT_EQ(dev.exitCode, 0) << dev.out;
    EXPECT_EQ(dev.out.rfind("[dataSetBasePath :   56]\"New base path for assets:<../Vantorel/>\"\n....bar\n", 0), 0u)
        << dev.out;
    EXPECT_NE(dev.out.find("bar\n10,10\nloading variables...\nloading glitch...\n"), std::string::npos) << dev.out;

    // A release run takes the music from the working directory.
    RunResult missing = capture({"-RELEASE", "--capture", "rel", "--duration", "0.1"});
    EXPECT_EQ(missing.exitCode, 10);
    EXPECT_EQ(missing.out.rfind("[dataSetBasePath :   56]\"New base path for assets:<>\"\n", 0), 0u) << missing.out;
    ASSERT_TRUE(writeToneMp3(run() + "/music.mp3", 1.0));
    RunResult release = capture({"--capture", "rel", "--duration", "0.1", "-Release"});
    EXPECT_EQ(release.exitCode, 0) << release.out;
    EXPECT_EQ(listDir(run() + "/rel"), frameNames(3));
}

TEST_F(ProgramRun, MissingOrUndecodableMusicEndsWithExitTen)
{
    RunResult missing = capture({"--capture", "out"});
    EXPECT_EQ(missing.exitCode, 10);
    EXPECT_NE(missing.out.find("Failed to initialize BASS stream from music.mp3\n"), std::string::npos) << missing.out;
    EXPECT_TRUE(listDir(run() + "/out").empty());

    ASSERT_TRUE(writeFile(root / "Vantorel/music.mp3", std::string(5000, 'x')));
    RunResult garbage = capture({"--capture", "out"});
    EXPECT_EQ(garbage.exitCode, 10);
    EXPECT_NE(garbage.out.find("Failed to initialize BASS stream from music.mp3\n"), std::string::npos);

    ASSERT_TRUE(writeFile(root / "Vantorel/music.mp3", ""));
    EXPECT_EQ(capture({"--capture", "out"}).exitCode, 10);
}

TEST_F(ProgramRun, OptionsAnswerHelpAndRefuseUnknownOnes)
{
    RunResult help = capture({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *option : {"--capture", "--fps", "--start", "--duration", "--no-sound", "--help", "-release"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;

    RunResult unknown = capture({"--frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("Usage:"), std::string::npos);
}

TEST_F(ProgramRun, CaptureIntoAnUnwritablePlaceFails)
{
    addMusic(1.0);
    ASSERT_TRUE(writeFile(run() + "/file", "x"));
    RunResult r = capture({"--capture", "file/sub"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Cannot create the capture directory file/sub"), std::string::npos) << r.out;
}

TEST_F(ProgramRun, WithoutADisplayTheWindowedRunPointsToCapture)
{
    addMusic(1.0);
    RunResult r = runVantorel(run(), {}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""},
                                          {"ASAN_OPTIONS", "detect_leaks=0"}});
    EXPECT_EQ(r.exitCode, 10);
    EXPECT_NE(r.out.find("--capture"), std::string::npos) << r.out;
}

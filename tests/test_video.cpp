// The show leaving the engine: video export through ffmpeg, and the release
// bundle playing the same frames as the development tree.
#include <sys/stat.h>

#include "testutil.h"

using Streams = std::vector<std::map<std::string, std::string>>;

// Each test works on its own copy of the production tree, "Vantorel/" beside
// the working directory "run/": development runs write into their tree.
class ShowRun : public testing::Test {
protected:
    void SetUp() override
    {
        const char *tree = getenv("VANTOREL_PRODUCTION_TREE");
        ASSERT_TRUE(std::filesystem::exists(std::string(tree ? tree : "") + "/.built")) << "needs the production tree";
        production = tree;
        std::filesystem::copy(production, root / "Vantorel", std::filesystem::copy_options::recursive);
        ASSERT_TRUE(makeDirs(run()));
    }
    std::string run() const { return root / "run"; }
    // Offline runs; a PATH given replaces the inherited one.
    RunResult offline(const std::string &cwd, const std::vector<std::string> &args, const std::string &path = "")
    {
        std::vector<std::pair<std::string, std::string>> env = {
            {"DISPLAY", ""}, {"SDL_AUDIODRIVER", ""}, {"ASAN_OPTIONS", "detect_leaks=0"}};
        if (!path.empty())
            env.push_back({"PATH", path});
        return runVantorel(cwd, args, env, 300.0);
    }
    std::string production;
    TempDir root;
};

// What a shell command writes on standard output (binary safe).
static std::string shell(const std::string &command, int *status = nullptr)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    char chunk[65536];
    for (size_t n; pipe && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.append(chunk, n);
    int result = pipe ? pclose(pipe) : -1;
    if (status)
        *status = result;
    return out;
}

static Streams probe(const std::string &file)
{
    Streams streams;
    std::string text = shell("ffprobe -v error -count_frames -of compact=p=0 -show_entries "
                             "stream=codec_type,codec_name,width,height,pix_fmt,nb_read_frames,duration '" + file + "'");
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::map<std::string, std::string> &fields = streams.emplace_back();
        std::string line = text.substr(at, end - at) + "|";
        for (size_t p = 0, bar; (bar = line.find('|', p)) != std::string::npos; p = bar + 1) {
            std::string field = line.substr(p, bar - p);
            fields[field.substr(0, field.find('='))] = field.substr(field.find('=') + 1);
        }
    }
    return streams;
}

// Frame n of a picture or video file as 8-bit RGB.
static std::string decodeRGB(const std::string &file, int n)
{
    return shell("ffmpeg -v error -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(n) +
                 ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
}

// Frame n of the video against the captured picture of the same moment,
// enlarged by repeating pixels: yuv420p and the encoder stay within a few
// levels, while smoothing the edges would be far off.
static void expectEnlarged(const std::string &png, const std::string &video, int n, int factor)
{
    std::string picture = decodeRGB(png, 0);
    std::string frame = decodeRGB(video, n);
    const size_t width = 320 * (size_t)factor;
    ASSERT_EQ(picture.size(), 320u * 180 * 3);
    ASSERT_EQ(frame.size(), width * 180 * factor * 3);
    long total = 0, close = 0, bright = 0;
    for (size_t i = 0; i < frame.size(); i++) {
        size_t pixel = i / 3, x = pixel % width / factor, y = pixel / width / factor;
        int expected = (unsigned char)picture[(y * 320 + x) * 3 + i % 3];
        int error = abs((unsigned char)frame[i] - expected);
        total += error;
        close += error <= 16;
        bright += expected > 64;
    }
    EXPECT_GT(bright, (long)frame.size() / 50) << "a picture with something on it";
    EXPECT_LT((double)total / frame.size(), 4.0);
    EXPECT_GT((double)close / frame.size(), 0.98);
}

TEST_F(ShowRun, VideoOfASectionIsItsCaptureEnlargedWithItsMusic)
{
    const std::vector<std::string> timing = {"--fps", "12", "--start", "61", "--duration", "1.5"};
    std::vector<std::string> args = {"--video", "part.mp4"};
    args.insert(args.end(), timing.begin(), timing.end());
    RunResult video = offline(run(), args);
    ASSERT_EQ(video.exitCode, 0) << video.out << video.err;
    EXPECT_NE(video.err.find("Video: 18 frames in"), std::string::npos) << video.err;

    Streams streams = probe(run() + "/part.mp4");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0]["codec_name"] + " " + streams[0]["width"] + "x" + streams[0]["height"] + " " +
                  streams[0]["pix_fmt"] + " " + streams[0]["nb_read_frames"],
              "h264 1920x1080 yuv420p 18");
    EXPECT_EQ(streams[1]["codec_type"], "audio");
    EXPECT_NEAR(atof(streams[1]["duration"].c_str()), 1.5, 0.03);

    // Frame 9 against the captured picture of the same moment.
    args[0] = "--capture", args[1] = "cap";
    ASSERT_EQ(offline(run(), args).exitCode, 0);
    expectEnlarged(run() + "/cap/frame_000009.png", run() + "/part.mp4", 9, 6);
}

TEST_F(ShowRun, VideoAt4KEnlargesTwelveTimes)
{
    RunResult video = offline(run(), {"--video", "4k.mp4", "--video-size", "3840x2160", "--crf", "18", "--fps", "12",
                                      "--start", "61", "--duration", "0.25"});
    ASSERT_EQ(video.exitCode, 0) << video.out << video.err;
    Streams streams = probe(run() + "/4k.mp4");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0]["width"] + "x" + streams[0]["height"] + " " + streams[0]["nb_read_frames"], "3840x2160 3");
    ASSERT_EQ(offline(run(), {"--capture", "cap", "--fps", "12", "--start", "61", "--duration", "0.25"}).exitCode, 0);
    expectEnlarged(run() + "/cap/frame_000002.png", run() + "/4k.mp4", 2, 12);
}

TEST_F(ShowRun, WithoutFfmpegOrAPlaceForTheFileNothingIsRendered)
{
    TempDir emptyPath;
    RunResult missing = offline(run(), {"--video", "v.mp4"}, emptyPath.path());
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("the ffmpeg program is not in PATH"), std::string::npos) << missing.err;

    RunResult nowhere = offline(run(), {"--video", "no/such/dir/v.mp4"});
    EXPECT_EQ(nowhere.exitCode, 1);
    EXPECT_NE(nowhere.err.find("Cannot write the video no/such/dir/v.mp4: No such file"), std::string::npos)
        << nowhere.err;
    // A name whose container cannot take H.264 with AAC (or that ffmpeg does
    // not know) is refused like a bad option, and leaves nothing behind.
    RunResult unknown = offline(run(), {"--video", "v.xyz"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("ffmpeg cannot write H.264 video with AAC sound into v.xyz (the extension .xyz; "),
              std::string::npos) << unknown.err;
    RunResult webm = offline(run(), {"--video", "v.webm"});
    EXPECT_EQ(webm.exitCode, 2) << webm.err;
    for (const RunResult &r : {missing, nowhere, unknown, webm})
        EXPECT_EQ(r.out, "") << "start-up began";
    EXPECT_EQ(listDir(run()), std::vector<std::string>{});
}

TEST_F(ShowRun, AFailingEncoderIsReportedAndItsPartialFileRemoved)
{
    // Passes the check of the container, then writes into its output,
    // complains, takes a few pictures and gives up.
    TempDir bin;
    ASSERT_TRUE(writeFile(bin / "ffmpeg", "#!/bin/sh\ncase \"$*\" in *lavfi*) exit 0;; esac\n"
                                          "for a; do out=$a; done\necho partial > \"${out#file:}\"\n"
                                          "echo 'x264 said no' >&2\necho 'Conversion failed!' >&2\n"
                                          "head -c 1000000 > /dev/null\nexit 1\n"));
    chmod((bin / "ffmpeg").c_str(), 0755);
    RunResult r = offline(run(), {"--video", "v.mp4", "--duration", "3"}, bin.path() + ":/usr/bin:/bin");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ffmpeg ended with exit status 1 after taking"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Its last lines:\n  x264 said no\n  Conversion failed!\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("The partial file was removed; v.mp4 was not written."), std::string::npos) << r.err;
    // Shut down like any development run: the pack, and no video.
    EXPECT_EQ(listDir(run()), std::vector<std::string>{"demo.dat"});
}

TEST_F(ShowRun, TheReleaseBundlePlaysTheSameShow)
{
    std::string dist = root / "dist/vantorel";
    int status = -1;
    std::string log = shell("ASAN_OPTIONS=detect_leaks=0 '" VANTOREL_BUNDLE_SCRIPT "' '" VANTOREL_BINARY "' '" +
                                production + "' '" + dist + "' 2>&1",
                            &status);
    ASSERT_EQ(status, 0) << log;
    EXPECT_EQ(listDir(root / "dist"), std::vector<std::string>{"vantorel"}) << "no work files left";
    EXPECT_EQ(listDir(dist), (std::vector<std::string>{"README.txt", "demo.dat", "demotrk.dat", "music.mp3", "vantorel"}));
    EXPECT_NE(readFile(dist + "/README.txt").find("./vantorel -release\n"), std::string::npos);

    // One frame every 6.7 s across the whole show, in both modes. The first
    // development run on a tree converts its LightWave objects; the files it
    // saves (and packs) are what every later run shows.
    ASSERT_EQ(offline(run(), {"--capture", "first", "--duration", "0.1"}).exitCode, 0);
    const std::vector<std::string> sample = {"--capture", "frames", "--fps", "0.15", "--start", "0.4"};
    RunResult dev = offline(run(), sample);
    ASSERT_EQ(dev.exitCode, 0) << dev.out;
    std::vector<std::string> release = sample;
    release.insert(release.begin(), "-release");
    RunResult rel = offline(dist, release);
    ASSERT_EQ(rel.exitCode, 0) << rel.out;
    std::vector<std::string> frames = listDir(run() + "/frames");
    EXPECT_GE(frames.size(), 25u);
    EXPECT_EQ(listDir(dist + "/frames"), frames);
    for (const std::string &name : frames)
        EXPECT_TRUE(readFile(dist + "/frames/" + name) == readFile(run() + "/frames/" + name)) << name;
}

TEST_F(ShowRun, BundlesDependOnTheSourcesAndTheTuningOnly)
{
    auto bundle = [&](const std::string &tree, const std::string &out) {
        int status = -1;
        std::string log = shell("ASAN_OPTIONS=detect_leaks=0 '" VANTOREL_BUNDLE_SCRIPT "' '" VANTOREL_BINARY "' '" +
                                    tree + "' '" + out + "' 2>&1",
                                &status);
        EXPECT_EQ(status, 0) << log;
        return readFile(out + "/demo.dat");
    };
    // Development runs that end at different moments, where the tracks and
    // the intro's clock stand elsewhere, write back the same variable files;
    // their trees give the bundle of the tree fresh from the builder.
    const std::string fresh = bundle(production, root / "fresh");
    ASSERT_FALSE(fresh.empty());
    std::map<std::string, std::string> writtenBack;
    for (const char *start : {"10", "120"}) {
        const std::string tree = root / (std::string("tree") + start);
        ASSERT_TRUE(copyProductionTree(tree + "/Vantorel") && makeDirs(tree + "/run"));
        ASSERT_EQ(offline(tree + "/run", {"--capture", "f", "--start", start, "--duration", "0.1"}).exitCode, 0);
        ASSERT_EQ(offline(tree + "/run", {"--capture", "f", "--overwrite", "--start", start, "--duration", "0.1"}).exitCode, 0);
        EXPECT_TRUE(bundle(tree + "/Vantorel", tree + "/dist") == fresh) << "after a run from " << start << " s";
        for (const std::string &name : listDir(tree + "/Vantorel")) {
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".vars") == 0) {
                auto [kept, first] = writtenBack.emplace(name, readFile(tree + "/Vantorel/" + name));
                EXPECT_TRUE(first || kept->second == readFile(tree + "/Vantorel/" + name)) << name;
            }
        }
    }
    EXPECT_EQ(writtenBack.size(), 10u);
    // A value tuned in the console (written back into its file) is a
    // different show.
    const std::string tuned = root / "tuned";
    ASSERT_TRUE(copyProductionTree(tuned));
    std::string curl = readFile(tuned + "/curl.vars");
    size_t at = curl.find("curl_zoom ");
    ASSERT_NE(at, std::string::npos);
    curl.replace(at, curl.find('\n', at) - at, "curl_zoom 1.25");
    ASSERT_TRUE(writeFile(tuned + "/curl.vars", curl));
    EXPECT_FALSE(bundle(tuned, root / "tuned-dist") == fresh);
}

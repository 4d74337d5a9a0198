// The whole program without a display: offline capture runs, start-up output,
// music failures, options and the missing-display path.

#include "cvar/cvar.h"
#include "data/pack.h"
#include "host/host.h"
#include "mp3gen.h"
#include "testutil.h"

namespace fs = std::filesystem;

// An asset tree "Vantorel/" beside the working directory "run/", as the
// development run expects ("../Vantorel/").
class ProgramRun : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(addProductionAssets(root / "Vantorel")) << "needs the production tree";
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

TEST_F(ProgramRun, CaptureWritesRgbPicturesToTheEndOfTheMusic)
{
    addMusic(1.0);
    RunResult r = capture({"--capture", "all", "--fps", "20"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(listDir(run() + "/all"), frameNames(20));

    RunResult late = capture({"--capture", "late", "--fps", "20", "--start", "0.5"});
    EXPECT_EQ(late.exitCode, 0) << late.out << late.err;
    EXPECT_EQ(listDir(run() + "/late"), frameNames(10));
    // 320 x 180, 8-bit RGB.
    std::string png = readFile(run() + "/all/frame_000000.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(1, 3) + " " + png.substr(12, 4), "PNG IHDR");
    EXPECT_EQ((std::vector<uint32_t>{be32(png, 16), be32(png, 20), (uint8_t)png[24], (uint8_t)png[25]}),
              (std::vector<uint32_t>{320, 180, 8, 2})); // width, height, depth, colour type
}

TEST_F(ProgramRun, CaptureReportsProgressAndKeepsOldFramesUnlessOverwrite)
{
    // The production's music, which ends at exactly 180 s.
    std::filesystem::create_symlink(std::string(getenv("VANTOREL_PRODUCTION_TREE")) + "/music.mp3",
                                    root / "Vantorel/music.mp3");
    RunResult first = capture({"--capture", "cap", "--fps", "10", "--start", "179"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.err.find("Capture: frame 10 of 10, "), std::string::npos) << first.err;
    EXPECT_NE(first.err.find(" frames/s) written to cap/frame_000000.png to frame_000009.png\n"), std::string::npos);
    EXPECT_EQ(first.err.find("Capture: 10 frames in "), first.err.rfind("Capture:")) << "the summary last";

    // Refused before start-up, old frames and other files untouched; with
    // --overwrite the old frames (and a hidden half-written one) go first.
    ASSERT_TRUE(writeFile(run() + "/cap/notes.txt", "kept"));
    ASSERT_TRUE(writeFile(run() + "/cap/.frame_000010.png.part", "half"));
    std::vector<std::string> all = frameNames(10), fewer = frameNames(5);
    all.insert(all.begin(), ".frame_000010.png.part"), all.push_back("notes.txt"), fewer.push_back("notes.txt");
    RunResult again = capture({"--capture", "cap", "--fps", "5", "--start", "179"});
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_NE(again.err.find("cap already holds 11 frame files (such as .frame_000010.png.part).\n"
                             "Give --overwrite to remove them"), std::string::npos) << again.err;
    EXPECT_EQ(again.out, "") << "start-up began";
    EXPECT_EQ(listDir(run() + "/cap"), all);

    // A start at or past the end of the music shows nothing: refused, and the
    // frames are not removed for it.
    for (const char *start : {"180", "999"}) {
        RunResult late = capture({"--capture", "cap", "--start", start, "--overwrite"});
        EXPECT_EQ(late.exitCode, 2) << start;
        EXPECT_NE(late.err.find(std::string("--start ") + start + (start[0] == '1' ? " lies at" : " lies past") +
                                " the end of the music (180.000 s): there is nothing to render.\n"),
                  std::string::npos) << late.err;
        EXPECT_EQ(listDir(run() + "/cap"), all);
    }
    RunResult over = capture({"--capture", "cap", "--fps", "5", "--start", "179", "--overwrite"});
    EXPECT_EQ(over.exitCode, 0) << over.err;
    EXPECT_NE(over.err.find("Removed 11 old frame files from cap.\n"), std::string::npos) << over.err;
    EXPECT_EQ(listDir(run() + "/cap"), fewer);
}

// The curl particles from the first frame on: a start at 1 s shows the
// particles of a run from 0, which --cold-start leaves out.
TEST_F(ProgramRun, StartReplaysTheShowBeforeItUnlessColdStart)
{
    addMusic(2.0);
    const std::string tree = root / "Vantorel";
    ASSERT_TRUE(writeFile(tree + "/curl.vars", "curl_motionnoisescale 3\ncurl_motionnoisetime 0.2\n"
                                               "curl_motionmaxvelo 4\ncurl_lifedecay 3\ncurl_particlelimit 6000\n"));
    const std::pair<const char *, float> held[] = {
        {"post_brightnedd", 1},     {"background_mode", 1},    {"curl_motionstrength", 0.5f}, {"curl_spawnrate", 0.6f},
        {"engtest_diffuse_r", 1},   {"engtest_diffuse_g", 1},  {"engtest_diffuse_b", 1},      {"engtest_zoom", 128},
        {"engtest_camera_z", -1000}, {"engtest_shading_primary_r", 1}, {"engtest_shading_primary_g", 1}};
    for (const auto &h : held)
        ASSERT_TRUE(writeFile(tree + "/sync_" + h.first + ".track", trackFile({{0, h.second, 0}})));
    ASSERT_TRUE(writeFile(tree + "/sync_fx_time.track", trackFile({{0, 0.0f, 1}, {45, 4.0f, 1}})));
    ASSERT_EQ(capture({"--capture", "all", "--fps", "10"}).exitCode, 0);
    RunResult exact = capture({"--capture", "exact", "--fps", "10", "--start", "1", "--duration", "0.5"});
    ASSERT_EQ(exact.exitCode, 0) << exact.out << exact.err;
    EXPECT_NE(exact.err.find("Starting at 1 s as the show is there: 10 of the 10 frames before it replayed"),
              std::string::npos) << exact.err;
    RunResult cold = capture({"--capture", "cold", "--fps", "10", "--start", "1", "--duration", "0.5", "--cold-start"});
    ASSERT_EQ(cold.exitCode, 0) << cold.out << cold.err;
    EXPECT_EQ(cold.err.find("Starting at"), std::string::npos) << cold.err;
    for (int i = 0; i < 5; i++) {
        const std::string name = frameNames(i + 1).back();
        const uint64_t shown = hashBytes(readFile(run() + "/all/" + frameNames(11 + i).back()));
        EXPECT_EQ(hashBytes(readFile(run() + "/exact/" + name)), shown) << name;
        EXPECT_NE(hashBytes(readFile(run() + "/cold/" + name)), shown) << name;
    }
    EXPECT_NE(hashBytes(readFile(run() + "/all/frame_000012.png")), hashBytes(readFile(run() + "/all/frame_000013.png")));
}

// The first landmark missing from the text after those before it; "" when
// all of them appear in this order.
static std::string firstOutOfOrder(const std::string &text, const std::vector<std::string> &landmarks)
{
    size_t at = 0;
    for (const std::string &mark : landmarks) {
        if ((at = text.find(mark, at)) == std::string::npos)
            return mark;
        at += mark.size();
    }
    return "";
}

TEST_F(ProgramRun, StartUpAnnouncesItsStepsInOrder)
{
    addMusic(1.0);
    RunResult dev = capture({"--capture", "dev", "--duration", "0.1"});
    ASSERT_EQ(dev.exitCode, 0) << dev.out;
    EXPECT_EQ(dev.out.rfind("[dataSetBasePath :   56]\"New base path for assets:<../Vantorel/>\"\n....", 0), 0u)
        << dev.out;
    EXPECT_EQ(firstOutOfOrder(dev.out, {"....", "loaded texture from backgrounds/morla/logo_composition2.png",
                                        "bar\n", "10,10\n", "Loading variables for source file <backimage.vars>",
                                        "loading variables...\n", "Loading variables for source file <post.vars>",
                                        "loading glitch...\n", "loading:textures/glitch/output00002.png",
                                        "loading:textures/glitch/output00099.png", "\n1\n", "2\n", "3\n", "4\n",
                                        "5\n", "6\n", "7\n", "8\n", "9\n", "\"Created frame\"\n", "frames: 3, frame time mean"}),
              "")
        << dev.out;

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
    for (const char *music : {"(none)", "garbage", ""}) {
        SCOPED_TRACE(*music ? music : "empty");
        if (strcmp(music, "(none)")) {
            ASSERT_TRUE(writeFile(root / "Vantorel/music.mp3", *music ? std::string(5000, 'x') : ""));
        }
        RunResult r = capture({"--capture", "out"});
        EXPECT_EQ(r.exitCode, 10);
        EXPECT_NE(r.out.find("Failed to initialize BASS stream from music.mp3\n"), std::string::npos) << r.out;
        EXPECT_EQ(listDir(run() + "/out"), std::vector<std::string>{});
    }
}

TEST_F(ProgramRun, OptionsAnswerHelpAndRefuseUnknownOnes)
{
    RunResult help = capture({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *option :
         {"--capture", "--bench-json", "--fps", "--start", "--duration", "--no-sound", "--help", "-release",
          "--audio-offset", "--quiet"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;

    EXPECT_EQ(capture({"-?"}).out, help.out);
    RunResult unknown = capture({"--frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("Usage:"), std::string::npos) << unknown.err;
}

TEST_F(ProgramRun, CaptureIntoAnUnwritablePlaceFails)
{
    addMusic(1.0);
    ASSERT_TRUE(writeFile(run() + "/file", "x"));
    RunResult r = capture({"--capture", "file/sub"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Cannot create the capture directory file/sub"), std::string::npos) << r.err;
}

TEST_F(ProgramRun, WithoutADisplayTheWindowedRunPointsToCapture)
{
    addMusic(1.0);
    RunResult r = runVantorel(run(), {}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""},
                                          {"ASAN_OPTIONS", "detect_leaks=0"}});
    EXPECT_EQ(r.exitCode, 10);
    EXPECT_NE(r.out.find("--capture"), std::string::npos) << r.out;
}

// The names in a pack's table, in order.
static std::vector<std::string> packNames(const std::string &path)
{
    std::vector<std::string> names;
    DataPack *pack = nullptr;
    captured([&] { pack = dataOpenPack(path.c_str()); });
    for (DataEntry *e = pack ? pack->entries : nullptr; e; e = e->next)
        names.push_back(e->name);
    if (pack)
        dataClosePack(pack);
    return names;
}

TEST_F(ProgramRun, DevelopmentRunPacksItsReadsAndReleaseShowsTheSameFrames)
{
    addMusic(3.0);
    std::string tree = root / "Vantorel";
    ASSERT_TRUE(writeFile(tree + "/post.vars", "post_brightnedd 1\nbackground_mode 1\npost_glitch_index 7\n"));
    ASSERT_TRUE(writeFile(tree + "/backimage.vars", "backimage_x 3\n"));
    // Brightness ramps from dark to white and back; the clear keeps the
    // picture a flat grey of that brightness.
    std::string brightness = trackFile({{0, 0.0f, 1}, {30, 2.0f, 1}, {60, 1.5f, 0}});
    ASSERT_TRUE(writeFile(tree + "/sync_post_brightnedd.track", brightness));
    ASSERT_TRUE(writeFile(tree + "/sync_background_mode.track", trackFile({{0, 1.0f, 0}})));
    ASSERT_TRUE(writeFile(tree + "/sync_post_glow_color_r.track", trackFile({{0, 0.5f, 0}})));

    RunResult dev = capture({"--capture", "frames", "--fps", "10", "--duration", "3"});
    ASSERT_EQ(dev.exitCode, 0) << dev.out;
    std::string pack = readFile(run() + "/demo.dat");
    std::vector<std::string> names = packNames(run() + "/demo.dat");
    // In the order of first request, each once: the logo, the variable files,
    // the glitch frames right after "post.vars", then every track asked for,
    // found or not; the effects' own assets stand among them.
    auto at = [&names](const char *name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    EXPECT_EQ(names[0], "backgrounds/morla/logo_composition2.png");
    EXPECT_LT(at("backimage.vars"), at("post.vars"));
    EXPECT_EQ(at("textures/glitch/output00002.png"), at("post.vars") + 1);
    EXPECT_EQ(at("textures/glitch/output00099.png"), at("post.vars") + 98);
    EXPECT_EQ(at("sync_fx_idx.track"), at("post.vars") + 99);
    Cvar *bound[256];
    long tracks = 0;
    for (int i = 0, n = hostTrackedList(bound, 256); i < n && i < 256; i++)
        tracks += bound[i]->kind == CVAR_FLOAT ? 1 : 3;
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string &n) { return n.rfind("sync_", 0) == 0; }),
              tracks);
    EXPECT_EQ(dev.out.find("music.mp3 from"), std::string::npos); // never asked of the data layer
    // The files were written back after the pack was built.
    EXPECT_NE(readFile(tree + "/post.vars").find("post_glitch_index 7.000000\n"), std::string::npos);
    EXPECT_NE(pack.find("post_glitch_index 7\n"), std::string::npos);

    // The release directory holds the two packs and the music, nothing else.
    std::string release = root / "release";
    ASSERT_TRUE(makeDirs(release));
    ASSERT_TRUE(writeFile(release + "/demo.dat", pack));
    const std::string green = trackFile({{0, 0.25f, 0}});
    const PackSource trackPack[] = {{"sync_post_glow_color_g.track", (const uint8_t *)green.data(), (int32_t)green.size()}};
    ASSERT_TRUE(dataWritePack((release + "/demotrk.dat").c_str(), trackPack, 1));
    ASSERT_TRUE(writeFile(release + "/music.mp3", readFile(tree + "/music.mp3")));
    RunResult rel = runVantorel(release, {"-release", "--capture", "frames", "--fps", "10", "--duration", "3"},
                                {{"DISPLAY", ""}, {"ASAN_OPTIONS", "detect_leaks=0"}});
    ASSERT_EQ(rel.exitCode, 0) << rel.out;
    EXPECT_EQ(rel.out.find("Failed to find a file: sync_post_brightnedd.track"), std::string::npos);
    EXPECT_EQ(listDir(release), (std::vector<std::string>{"demo.dat", "demotrk.dat", "frames", "music.mp3"}));
    EXPECT_EQ(readFile(release + "/demo.dat"), pack);

    EXPECT_EQ(listDir(release + "/frames"), frameNames(30));
    for (const std::string &name : frameNames(30))
        EXPECT_EQ(hashBytes(readFile(release + "/frames/" + name)), hashBytes(readFile(run() + "/frames/" + name)))
            << name;
    // The frames follow the track: dark at the start, bright at its peak.
    EXPECT_NE(readFile(run() + "/frames/frame_000000.png"), readFile(run() + "/frames/frame_000013.png"));
}

// A bench renders every frame, writes nothing but its JSON, and files each
// frame under what it drew; a JSON file it cannot create stops it at once.
TEST_F(ProgramRun, BenchWritesOnlyItsFiguresFiledPerEffect)
{
    addMusic(2.0);
    std::string tree = root / "Vantorel";
    // Voxel landscape over the tunnel for frames 0-9, then the fish test on a
    // cleared frame: row 22 comes at 0.97 s (22.67 rows a second).
    ASSERT_TRUE(writeFile(tree + "/sync_fx_idx.track", trackFile({{0, 3.0f, 0}, {22, 4.0f, 0}})));
    ASSERT_TRUE(writeFile(tree + "/sync_background_mode.track", trackFile({{0, 2.0f, 0}, {22, 1.0f, 0}})));
    std::vector<std::string> treeBefore = listDir(tree);

    RunResult r = capture({"--bench-json", "b.json", "--fps", "10", "--duration", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(listDir(run()), std::vector<std::string>{"b.json"}); // no demo.dat, no frames
    EXPECT_EQ(listDir(tree), treeBefore);                          // no curl.dat, no variable files
    for (const char *line : {"frames of", "whole show", "post chain alone", "curl table", "Peak resident"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;

    std::string json = readFile(run() + "/b.json");
    auto has = [&json](const std::string &text) { return json.find(text) != std::string::npos; };
    EXPECT_EQ(std::count(json.begin(), json.end(), '{'), std::count(json.begin(), json.end(), '}'));
    EXPECT_EQ(json.front(), '{');
    // The figures, then one entry for each effect that ran.
    for (const char *piece : {"\"frame_copy_ms\": 0.", "\"startup_s\": {\"total\": ", "\"tables\": ",
                              "\"curl_table\": ", "\"voronoi_frames\": ", "\"tracks\": ", "\"post_chain_ms\": ",
                              "\"show\": {\"frames\": 20, \"mean_ms\": ", "\"realtime_factor\": ", "\"peak_rss_mb\": ",
                              "{\"name\": \"voxel\", \"fx_idx\": 3, \"frames\": 10, \"median_ms\": ",
                              "{\"name\": \"fish\", \"fx_idx\": 4, \"frames\": 10, ",
                              "{\"name\": \"tunnel\", \"fx_idx\": null, \"frames\": 10, ",
                              "{\"name\": \"clear\", \"fx_idx\": null, \"frames\": 10, "})
        EXPECT_TRUE(has(piece)) << piece << "\n" << json;
    EXPECT_FALSE(has("\"curl\"")) << "an effect that never ran has no entry";
    // Every start-up second is charged to exactly one phase.
    auto number = [&json](const std::string &key) { return atof(json.c_str() + json.find(key) + key.size() + 3); };
    double phases = 0.0;
    for (const char *phase : {"tables", "pictures", "curl_table", "voronoi_frames", "objects", "variables", "tracks"}) {
        EXPECT_GE(number(phase), 0.0) << phase;
        phases += number(phase);
    }
    EXPECT_NEAR(phases, number("total"), 1e-4) << json;
    EXPECT_GT(number("curl_table"), 0.0); // built on every start-up without its cache marker
    EXPECT_FALSE(has("nan")) << json;
    EXPECT_FALSE(has("inf")) << json;

    RunResult bad = capture({"--bench-json", "missing/b.json"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("Cannot write the bench figures to missing/b.json"), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out.find("frames:"), std::string::npos) << "nothing rendered";
}

// The run's summary is the last line of standard output, after the packing
// log; --quiet keeps that line alone, and on a failing end its reason.
TEST_F(ProgramRun, SummaryComesLastAndQuietKeepsOnlyWhatAUserNeeds)
{
    addMusic(1.0);
    RunResult loud = capture({"--capture", "loud", "--duration", "0.1"});
    const size_t last = loud.out.rfind("\nframes: 3, frame time mean");
    EXPECT_EQ(loud.out.find('\n', last + 1), loud.out.size() - 1) << loud.out;
    EXPECT_EQ(loud.out.compare(loud.out.rfind('\n', last - 1), 9, "\n[DATA]: "), 0) << loud.out;

    RunResult quiet = capture({"-relase", "--quiet", "--capture", "quiet", "--duration", "0.1"});
    const size_t summary = quiet.out.rfind('\n', quiet.out.size() - 2) + 1;
    EXPECT_EQ(quiet.out.compare(summary, 26, "frames: 3, frame time mean"), 0) << quiet.out;
    // Before it only errors: this tree has no track files.
    size_t missing = 0;
    for (size_t at = 0; (at = quiet.out.find("\"LoadFile: Failed to find a file: sync_", at)) < summary; at++)
        missing++;
    EXPECT_GT(missing, 20u);
    EXPECT_EQ(std::count(quiet.out.begin(), quiet.out.begin() + (long)summary, '\n'), (long)missing) << quiet.out;
    EXPECT_EQ(quiet.err.rfind("vantorel: ignoring the unknown argument -relase (did you mean -release?)\n", 0), 0u)
        << quiet.err;
    EXPECT_EQ(listDir(run() + "/quiet"), frameNames(3));

    ASSERT_EQ(remove((root / "Vantorel/music.mp3").c_str()), 0);
    RunResult failed = capture({"--quiet", "--capture", "failed"});
    EXPECT_EQ(failed.exitCode, 10);
    EXPECT_EQ(failed.out, "Failed to initialize BASS stream from music.mp3\n"); // the failing step's lines
}

// Started from the wrong directory, the run says where it looked and how it
// is started, before failing as it always has.
TEST_F(ProgramRun, MissingAssetTreeOrPacksAreNamedWithTheDirectorySearched)
{
    const std::string here = fs::canonical(run()).string();
    ASSERT_TRUE(makeDirs(run() + "/deeper"));
    RunResult dev = runVantorel(run() + "/deeper", {"--capture", "c"}, {{"DISPLAY", ""}, {"ASAN_OPTIONS", "detect_leaks=0"}});
    EXPECT_EQ(dev.exitCode, 10);
    EXPECT_NE(dev.err.find("No asset tree: " + here + "/deeper/../Vantorel/ is not a directory. Run the development "
                           "program from build/"), std::string::npos) << dev.err;
    for (const std::string packs : {"demo.dat or demotrk.dat", "demotrk.dat"}) {
        RunResult release = capture({"-release", "--capture", "c"});
        EXPECT_EQ(release.exitCode, 10);
        EXPECT_NE(release.err.find("No " + packs + " in " + here + ": "), std::string::npos) << release.err;
        ASSERT_TRUE(writeFile(run() + "/demo.dat", "DATA"));
    }
}

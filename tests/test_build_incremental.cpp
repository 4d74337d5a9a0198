// The builder's update in place: only what changed is written, an error
// leaves the tree as it was, replacement assets are checked, files of the
// engine and tuned variable files survive, and tuning folds back into the
// sources.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "data/pngwrite.h"
#include "mp3gen.h"
#include "testutil.h"

#ifndef VANTOREL_BUILD_BINARY
#error "VANTOREL_BUILD_BINARY must name the production builder"
#endif
#ifndef VANTOREL_PRODUCTION_DIR
#error "VANTOREL_PRODUCTION_DIR must name the production sources"
#endif

namespace fs = std::filesystem;

namespace {

// A copy of the production's sources and of a built tree, in one scratch
// directory: "production/" and "Vantorel/".
class ProductionUpdate : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The tree the test run built once (a fixture), or one built here.
        const char *shared = getenv("VANTOREL_PRODUCTION_TREE");
        if (shared && fs::exists(std::string(shared) + "/.built")) {
            tree = shared;
            return;
        }
        own = new TempDir();
        fs::copy(VANTOREL_PRODUCTION_DIR, *own / "production", fs::copy_options::recursive);
        RunResult r = runVantorel(own->path(), {"--source", "production", "--out", "Vantorel"}, {}, 300,
                                  VANTOREL_BUILD_BINARY);
        if (r.exitCode == 0)
            tree = *own / "Vantorel";
    }

    void SetUp() override
    {
        ASSERT_FALSE(tree.empty()) << "the production did not build";
        fs::copy(VANTOREL_PRODUCTION_DIR, dir / "production", fs::copy_options::recursive);
        fs::copy(tree, dir / "Vantorel", fs::copy_options::recursive);
        // The copy's files are new to the manifest: one build settles it.
        ASSERT_EQ(build().exitCode, 0);
    }

    RunResult build(const std::vector<std::string> &extra = {})
    {
        std::vector<std::string> args = {"--source", "production", "--out", "Vantorel"};
        args.insert(args.end(), extra.begin(), extra.end());
        return runVantorel(dir.path(), args, {}, 120, VANTOREL_BUILD_BINARY);
    }

    std::string source(const std::string &name) const { return dir / ("production/" + name); }
    std::string inTree(const std::string &name) const { return dir / ("Vantorel/" + name); }

    // Every file of the tree: its bytes' hash, size, time and inode.
    std::map<std::string, std::string> snapshot() const
    {
        std::map<std::string, std::string> files;
        for (const auto &entry : fs::recursive_directory_iterator(dir / "Vantorel")) {
            struct stat info;
            if (!entry.is_regular_file() || stat(entry.path().c_str(), &info) != 0)
                continue;
            char text[128];
            snprintf(text, sizeof text, "%llx %lld %lld.%09ld %llu", (unsigned long long)hashBytes(readFile(entry.path())),
                     (long long)info.st_size, (long long)info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
                     (unsigned long long)info.st_ino);
            files[fs::relative(entry.path(), dir / "Vantorel").string()] = text;
        }
        return files;
    }

    // The names whose record differs between two snapshots (or that only one has).
    static std::set<std::string> changed(const std::map<std::string, std::string> &a,
                                         const std::map<std::string, std::string> &b)
    {
        std::set<std::string> names;
        for (const auto &[name, record] : a)
            if (!b.count(name) || b.at(name) != record)
                names.insert(name);
        for (const auto &[name, record] : b)
            if (!a.count(name))
                names.insert(name);
        return names;
    }

    // Replaces the first line of a source file that begins with `start`.
    void edit(const std::string &name, const std::string &start, const std::string &line)
    {
        std::istringstream in(readFile(source(name)));
        std::string text, each;
        bool done = false;
        while (std::getline(in, each)) {
            if (!done && each.compare(0, start.size(), start) == 0) {
                each = line;
                done = true;
            }
            text += each + "\n";
        }
        ASSERT_TRUE(done) << name << " has no line " << start;
        ASSERT_TRUE(writeFile(source(name), text));
    }

    // A variable file as the engine writes it back: its own order, "%f",
    // the variables without a file after the first file's.
    void writeBack(const std::string &name, const std::map<std::string, std::string> &changes,
                   const std::string &extra = "")
    {
        std::istringstream in(readFile(inTree(name)));
        std::vector<std::string> lines;
        for (std::string line, word; std::getline(in, line);) {
            std::istringstream words(line);
            words >> word;
            std::string out = word;
            auto change = changes.find(word);
            std::istringstream values(change != changes.end() ? change->second : line.substr(word.size()));
            char number[64];
            for (double v; values >> v;)
                snprintf(number, sizeof number, " %f", (float)v), out += number;
            lines.insert(lines.begin(), out);
        }
        std::string text;
        for (const std::string &line : lines)
            text += line + "\n";
        ASSERT_TRUE(writeFile(inTree(name), text + extra));
    }

    TempDir dir;
    static std::string tree;
    static TempDir *own;
};
std::string ProductionUpdate::tree;
TempDir *ProductionUpdate::own;

// The report line of a part: "built     tracks ...".
bool reports(const RunResult &r, const char *status, const char *part)
{
    char start[32];
    snprintf(start, sizeof start, "%-9s %-10s", status, part);
    return r.out.find(std::string("\n") + start) != std::string::npos || r.out.compare(0, strlen(start), start) == 0;
}

// A PNG file of a plain colour.
std::string pngOf(int width, int height)
{
    TempDir dir;
    std::vector<uint32_t> pixels((size_t)width * height, 0xFF336699u);
    EXPECT_TRUE(pngWriteFile((dir / "p.png").c_str(), pixels.data(), width, height, width, 0));
    return readFile(dir / "p.png");
}

} // namespace

TEST_F(ProductionUpdate, NothingChangedWritesNothingButTheStamp)
{
    auto before = snapshot();
    RunResult r = build();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char *part : {"variables", "tracks", "objects", "pictures", "music"})
        EXPECT_TRUE(reports(r, "unchanged", part)) << part << "\n" << r.out;
    EXPECT_EQ(changed(before, snapshot()), std::set<std::string>{".built"});
}

TEST_F(ProductionUpdate, ATimelineChangeWritesOnlyItsTrackAndThePack)
{
    auto before = snapshot();
    edit("timeline.txt", "fx_idx 3", "fx_idx 4 # changed");
    RunResult r = build();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(reports(r, "built", "tracks")) << r.out;
    for (const char *part : {"objects", "pictures", "music"})
        EXPECT_TRUE(reports(r, "unchanged", part)) << part << "\n" << r.out;
    EXPECT_EQ(changed(before, snapshot()), (std::set<std::string>{".built", "demotrk.dat", "sync_fx_idx.track"}));
}

TEST_F(ProductionUpdate, ASourceErrorIsLocatedAndLeavesTheTreeAsItWas)
{
    auto before = snapshot();
    const std::string timeline = readFile(source("timeline.txt"));
    size_t lines = std::count(timeline.begin(), timeline.end(), '\n');
    ASSERT_TRUE(writeFile(source("timeline.txt"), timeline + "@ 101\nfx_speed 3\n"));
    // An error in one part stops the others too: no picture replacement is
    // written while the timeline is broken.
    ASSERT_TRUE(makeDirs(source("assets/textures/fish")));
    ASSERT_TRUE(writeFile(source("assets/textures/fish/txt1.png"), pngOf(256, 256)));
    RunResult r = build();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("production/timeline.txt:" + std::to_string(lines + 2) + ": fx_speed is not a tracked variable"),
              std::string::npos)
        << r.err;
    ASSERT_TRUE(writeFile(source("timeline.txt"), timeline));
    ASSERT_TRUE(writeFile(source("vars/post.vars"), readFile(source("vars/post.vars")) + "post_glow 1 2\n"));
    r = build();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("production/vars/post.vars:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": post_glow takes 1 number(s)"), std::string::npos) << r.err;
    EXPECT_EQ(changed(before, snapshot()), std::set<std::string>{});
}

TEST_F(ProductionUpdate, FilesTheEngineWroteSurviveARebuild)
{
    ASSERT_TRUE(writeFile(inTree("lwobj/elude.obj.cached"), "converted"));
    ASSERT_TRUE(writeFile(inTree("curl.dat"), "table"));
    ASSERT_TRUE(makeDirs(inTree("mine")));
    ASSERT_TRUE(writeFile(inTree("mine/notes.txt"), "notes"));
    edit("timeline.txt", "fx_idx 3", "fx_idx 5");
    ASSERT_TRUE(makeDirs(source("assets/textures/fish")));
    ASSERT_TRUE(writeFile(source("assets/textures/fish/txt2.png"), pngOf(256, 256)));
    ASSERT_EQ(build().exitCode, 0);
    EXPECT_EQ(readFile(inTree("lwobj/elude.obj.cached")), "converted");
    EXPECT_EQ(readFile(inTree("curl.dat")), "table");
    EXPECT_EQ(readFile(inTree("mine/notes.txt")), "notes");
}

TEST_F(ProductionUpdate, ReplacementAssetsTakeThePlaceOfTheGeneratedOnesUntilRemoved)
{
    const std::string fish = readFile(inTree("textures/fish/txt1.png")), music = readFile(inTree("music.mp3"));
    ASSERT_TRUE(makeDirs(source("assets/textures/fish")));
    const std::string picture = pngOf(256, 256);
    ASSERT_TRUE(writeFile(source("assets/textures/fish/txt1.png"), picture));
    ASSERT_TRUE(writeToneMp3(source("assets/music.mp3"), 2.0));
    auto before = snapshot();
    RunResult r = build();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(inTree("textures/fish/txt1.png")), picture);
    EXPECT_EQ(readFile(inTree("music.mp3")), readFile(source("assets/music.mp3")));
    EXPECT_NE(r.out.find("production/assets/music.mp3 lasts 2.0 s"), std::string::npos) << r.out;
    EXPECT_EQ(changed(before, snapshot()), (std::set<std::string>{".built", "music.mp3", "textures/fish/txt1.png"}));

    // Without them the generated files come back, without synthesis.
    fs::remove_all(source("assets/textures"));
    fs::remove(source("assets/music.mp3"));
    r = build();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(reports(r, "reused", "music")) << r.out;
    EXPECT_EQ(readFile(inTree("textures/fish/txt1.png")), fish);
    EXPECT_EQ(readFile(inTree("music.mp3")), music);
}

TEST_F(ProductionUpdate, WrongReplacementAssetsAreRefusedByName)
{
    // The generated LightWave file cut short, its FORM length made to match:
    // the last chunk then runs past the end.
    std::string cut = readFile(inTree("lwobj/elude.obj"));
    cut.resize(cut.size() - 64);
    for (int i = 0; i < 4; i++)
        cut[4 + i] = (char)((cut.size() - 8) >> (24 - 8 * i));
    const struct {
        const char *what, *name;
        std::string bytes;
        const char *message;
    } cases[] = {
        {"wrong size", "textures/fish/txt1.png", pngOf(128, 128),
         "production/assets/textures/fish/txt1.png is 128 x 128; the fish need 256 x 256"},
        {"wrong size of the intro", "backgrounds/morla/morla_podlogo_10pc.png", pngOf(320, 240),
         "is 320 x 240; the intro needs 320 x 180"},
        {"not a PNG", "textures/back_tunel/txt2.png", "\x89PNG\r\n\x1a\nnonsense",
         "production/assets/textures/back_tunel/txt2.png is not a PNG picture the engine can read"},
        {"cut PNG", "textures/back_tunel/txt2.png", pngOf(256, 256).substr(0, 60), "is not a PNG picture"},
        {"not an MP3", "music.mp3", std::string(20000, '\x5a'), "production/assets/music.mp3 is not an MP3"},
        {"unknown picture", "textures/fish/txt9.png", pngOf(256, 256),
         "production/assets/textures/fish/txt9.png: the production reads no such file"},
        {"unknown kind", "notes.txt", "notes", "production/assets/notes.txt: the production reads no such file"},
        {"not IFF", "lwobj/elude.obj", "v 1 2 3\nf 1 2 3\n", "production/assets/lwobj/elude.obj is not a LightWave object"},
        {"other FORM", "lwobj/particle_test1.lwo", std::string("FORM\0\0\0\x04ILBM", 12), "a FORM of type ILBM"},
        {"chunk past the end", "lwobj/elude.obj", cut, "runs past"},
        {"object past its end", "lwobj/weird2.lobj", readFile(inTree("lwobj/weird2.lobj")).substr(0, 1000),
         "production/assets/lwobj/weird2.lobj is not an object file"},
    };
    auto before = snapshot();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = source(std::string("assets/") + c.name);
        ASSERT_TRUE(makeDirs(fs::path(path).parent_path().string()));
        ASSERT_TRUE(writeFile(path, c.bytes));
        RunResult r = build();
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        fs::remove(path);
    }
    EXPECT_EQ(changed(before, snapshot()), std::set<std::string>{});
}

TEST_F(ProductionUpdate, TunedVariableFilesAreKeptAndReportedUntunedOnesFollowTheProduction)
{
    // A run tuned curl_zoom and wrote every file back in its own form.
    writeBack("curl.vars", {{"curl_zoom", "1.5"}});
    writeBack("post.vars", {});
    writeBack("voxel.vars", {}, "env_fps 60.000000\n");
    const std::string tuned = readFile(inTree("curl.vars"));
    edit("vars/curl.vars", "curl_lifedecay", "curl_lifedecay 4 # longer");
    edit("vars/post.vars", "fx_idx", "fx_idx 3");
    RunResult r = build();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(inTree("curl.vars")), tuned);
    EXPECT_NE(r.err.find("curl.vars holds tuned values, kept"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("curl_zoom 1.500000 (production: 1)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--fold-back"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--take-production"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("post.vars"), std::string::npos) << r.err;
    EXPECT_NE(readFile(inTree("post.vars")).find("fx_idx 3\n"), std::string::npos);

    // Written back again unchanged, the files hold what the builder wrote
    // last: neither reported nor rewritten.
    writeBack("post.vars", {});
    auto before = snapshot();
    r = build();
    EXPECT_EQ(r.err.find("post.vars"), std::string::npos) << r.err;
    EXPECT_EQ(changed(before, snapshot()), std::set<std::string>{".built"});

    RunResult listed = build({"--differences"});
    EXPECT_EQ(listed.out, "curl.vars: curl_lifedecay 3.000000 (production: 4)\n"
                          "curl.vars: curl_zoom 1.500000 (production: 1)\n");

    r = build({"--take-production"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(inTree("curl.vars")).find("curl_zoom 1.5"), std::string::npos);
    EXPECT_EQ(build({"--differences"}).out, "The tree's variable files hold the production's values.\n");
}

TEST_F(ProductionUpdate, FoldBackChangesOnlyTheTunedNumbersOfTheAuthoredFiles)
{
    writeBack("curl.vars", {{"curl_zoom", "1.5"}, {"curl_motionnoisetime", "0.123456789"}});
    writeBack("fishtest1.vars", {{"fishtest_boxcolor", "1 0.25 0.8 1"}});
    const std::string curl = readFile(source("vars/curl.vars")), fish = readFile(source("vars/fishtest1.vars"));
    RunResult r = build({"--fold-back"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    // Line by line: the comments and columns stay, only the numbers change.
    auto expect = [](std::string text, const std::string &from, const std::string &to) {
        size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    std::string wanted = expect(curl, "curl_zoom 1                     #", "curl_zoom 1.5                   #");
    wanted = expect(wanted, "curl_motionnoisetime 0.2        #", "curl_motionnoisetime 0.123457   #");
    EXPECT_EQ(readFile(source("vars/curl.vars")), wanted);
    EXPECT_EQ(readFile(source("vars/fishtest1.vars")), expect(fish, "fishtest_boxcolor 1 0.8 0.8 1", "fishtest_boxcolor 1 0.25 0.8 1"));
    EXPECT_NE(r.out.find("production/vars/curl.vars: curl_zoom 1.5"), std::string::npos) << r.out;

    // The tree now holds the production's values: nothing tuned, nothing written.
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(build({"--differences"}).out, "The tree's variable files hold the production's values.\n");
    const std::string tree = readFile(inTree("curl.vars"));
    r = build();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(inTree("curl.vars")), tree);
}

TEST_F(ProductionUpdate, TheWatcherBuildsWhenASourceIsSavedAndStopsWhenAsked)
{
    pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.path().c_str()) == 0 && freopen("/dev/null", "w", stdout) && freopen("/dev/null", "w", stderr))
            execl(VANTOREL_BUILD_BINARY, VANTOREL_BUILD_BINARY, "--source", "production", "--out", "Vantorel", "--watch",
                  (char *)nullptr);
        _exit(127);
    }
    ASSERT_GT(child, 0);
    const std::string track = readFile(inTree("sync_fx_idx.track"));
    usleep(300 * 1000); // the watcher takes its first look
    edit("timeline.txt", "fx_idx 3", "fx_idx 6");
    bool rebuilt = false;
    for (int i = 0; i < 100 && !rebuilt; i++) {
        usleep(50 * 1000);
        rebuilt = readFile(inTree("sync_fx_idx.track")) != track;
    }
    EXPECT_TRUE(rebuilt) << "the track did not change within 5 s";
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Hostile input: damaged files of every kind, writes failing at every point,
// and tracks driving every bound variable to NaN, infinities and huge values.
// Loaders answer with an object or a message; the program ends with exit 0
// or 10, never a signal or a sanitizer report; a file it replaces is whole.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <regex>

#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "data/data.h"
#include "data/image.h"
#include "data/objfile.h"
#include "data/pack.h"
#include "fx/fx.h"
#include "host/host.h"
#include "host/hostvars.h"
#include "platform/audio.h"
#include "render/object.h"
#include "sync/sync.h"
#include "testutil.h"

namespace fs = std::filesystem;
static const std::string production = getenv("VANTOREL_PRODUCTION_TREE") ? getenv("VANTOREL_PRODUCTION_TREE") : "";

// Each file kind: where its 32-bit counts lie (none: text, every number is
// one), their byte order, and how the engine reads such a file.
struct Kind {
    std::regex names;
    std::vector<int> counts;
    bool bigEndian;
    std::function<void(const char *path)> read;
};
static char *varsSlot = (char *)"post.vars";
static const Kind kinds[] = {
    {std::regex(".*\\.dat"), {4, 8, 272, 276}, false, [](const char *path) {
         for (DataPack *pack = dataOpenPack(path); pack; pack = (dataClosePack(pack), nullptr))
             for (DataEntry *entry = pack->entries; entry; entry = entry->next)
                 free(dataLoadFile(entry->name));
     }},
    {std::regex(".*\\.track"), {0, 4, 8}, false, [](const char *path) { // sync_NAME.track
         SyncDevice *device = syncCreateDevice("sync");
         for (double row : {-1e300, 0.0, 30.5, 1e9, (double)NAN})
             syncGetValue(syncGetTrack(device, std::string(path + 5, strlen(path) - 11).c_str()), row);
         syncDestroyDevice(device);
     }},
    {std::regex(".*\\.vars"), {}, false, [](const char *path) {
         DataFile *file = dataFileOpen(path);
         CvarReadVariables(file, &varsSlot);
         dataFileClose(file);
     }},
    {std::regex(".*list\\.txt"), {}, false, [](const char *) { backimage_load(); }},
    {std::regex(".*\\.png"), {8, 16, 20, 33}, true, [](const char *path) { txt_FreeTexture(txtLoadPNG(path)); }},
    {std::regex(".*\\.(lobj|cached|lob)"), {4, 8, 108}, true, [](const char *path) { obj_Free(objLoad(path, 1e3)); }},
    {std::regex(".*\\.(lwo|obj)"), {4, 16, 32, 58}, true, [](const char *path) { obj_Free(objImport(path)); }},
    {std::regex(".*\\.mp3"), {44, 48}, true, [](const char *path) { audioStreamClose(audioStreamOpen(path)); }},
};

static const Kind *kindOf(const std::string &name)
{
    for (const Kind &kind : kinds)
        if (std::regex_match(name, kind.names))
            return &kind;
    return nullptr;
}

// Variant v of a damaged copy, v below damageVariants(kind): cut at every
// length up to 64 bytes, then at 8 random longer lengths, then each count set
// to 0, -1, 2^31 - 1 and 2^32 - 1 (in text: every number), then 24 copies
// with 1 to 8 random bits flipped.
static unsigned damageVariants(const Kind &kind)
{
    return 65 + 8 + 4 * std::max<unsigned>(kind.counts.size(), 1) + 24;
}

static std::string damaged(std::string s, const Kind &kind, unsigned v)
{
    std::mt19937 rng(v);
    if (v < 65 + 8)
        return s.substr(0, v < 65 ? v : 65 + rng() % std::max<size_t>(s.size() - 64, 1));
    if ((v -= 65 + 8) < 4 * std::max<unsigned>(kind.counts.size(), 1)) {
        static const char *const counts[] = {"0", "-1", "2147483647", "4294967295"};
        const char *count = counts[v % 4];
        if (kind.counts.empty())
            return std::regex_replace(s, std::regex("(^|\\s)-?[0-9][-+.e0-9]*"), std::string("$1") + count);
        for (int k = 0, at = kind.counts[v / 4]; k < 4 && at + 4 <= (int)s.size(); k++)
            s[at + k] = (char)(strtoll(count, nullptr, 10) >> (kind.bigEndian ? 24 - 8 * k : 8 * k));
        return s;
    }
    for (unsigned flips = 1 + rng() % 8; flips && !s.empty(); flips--)
        s[rng() % s.size()] ^= (char)(1 << rng() % 8);
    return s;
}

TEST(HostileFiles, EveryKindDamagedEndsInAResultOrAMessageInProcess)
{
    TempDir dir;
    ASSERT_TRUE(fs::exists(production + "/.built") && chdir(dir.path().c_str()) == 0);
    std::error_code error;
    fs::copy(production + "/backgrounds", "backgrounds", fs::copy_options::recursive, error);
    dataSetBasePath("");
    hostRegisterGroup1(), hostRegisterGroup2(), hostRegisterGroup3();
    for (const char *sample : {"demotrk.dat", "sync_fx_idx.track", "post.vars", "backgrounds/morla/list.txt",
                               "backgrounds/morla/hud.png", "lwobj/simplecube.lobj", "lwobj/elude.obj", "music.mp3"}) {
        const Kind &kind = *kindOf(sample);
        const std::string good = readFile(production + "/" + sample);
        fs::create_directories(fs::path(sample).parent_path(), error);
        for (unsigned v = 0; v < damageVariants(kind); v++) {
            ASSERT_TRUE(writeFile(sample, damaged(good, kind, v)));
            kind.read(sample);
        }
    }
}

// Program runs in a private copy of the production tree ("Vantorel/", beside
// the working directory "run/") where fx_idx and background_mode change every
// row, so that a few frames show every effect. A first clean run leaves the
// files a development run writes: curl.dat, the object caches, demo.dat.
class HostileRuns : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(production + "/.built"));
        fs::copy(production, tree, fs::copy_options::recursive);
        std::vector<SyncKey> fx, background;
        for (int row = 0; row < 64; row++)
            fx.push_back({row, (float)(row % 7), SYNC_STEP}), background.push_back({row, (float)(row % 4), SYNC_STEP});
        writeTrack("fx_idx", fx), writeTrack("background_mode", background);
        ASSERT_TRUE(writeFile(tree / "curl.dat-dontcache", "1") && makeDirs(root / "run"));
        ASSERT_EQ(play().exitCode, 0);
    }
    void writeTrack(const std::string &name, const std::vector<SyncKey> &keys)
    {
        std::string bytes(syncEncodeTrack(keys.data(), (int32_t)keys.size(), nullptr), '\0');
        syncEncodeTrack(keys.data(), (int32_t)keys.size(), (uint8_t *)bytes.data());
        ASSERT_TRUE(writeFile(tree / ("sync_" + name + ".track"), bytes));
    }
    // A capture of 8 frames (rows 0 to 6), or of the whole show at 2 frames a second.
    RunResult play(const std::vector<std::pair<std::string, std::string>> &env = {}, bool wholeShow = false,
                   const std::string &dir = "")
    {
        std::vector<std::string> args = {"--capture", "frames", "--fps", wholeShow ? "2" : "25"};
        if (!wholeShow)
            args.insert(args.end(), {"--duration", "0.3"});
        if (!dir.empty())
            args.push_back("-release");
        RunResult r = runVantorel(dir.empty() ? root / "run" : dir, args, env);
        EXPECT_TRUE(r.signal == 0 && (r.exitCode == 0 || r.exitCode == 10) && !r.out.empty()) << r.out << r.err;
        EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
        return r;
    }
    TempDir root;
    const fs::path tree = root / "Vantorel";
};

// Every file damaged at once, each in its own way; the pictures and the music
// that start-up cannot do without stay whole, or the first would hide the rest.
TEST_F(HostileRuns, ManyDamagedFilesPerDevelopmentAndReleaseRun)
{
    // The release directory also holds the loose objects, which a release run
    // must neither read in place of a refused pack entry's bytes nor write.
    const std::string release = root / "release";
    fs::create_directories(release), fs::copy(production + "/lwobj", release + "/lwobj", fs::copy_options::recursive);
    const std::vector<std::string> objects = listDir(release + "/lwobj");
    for (const char *name : {"demotrk.dat", "music.mp3"})
        ASSERT_TRUE(writeFile(release + "/" + name, readFile(tree / name)));
    std::string pack = readFile(root / "run/demo.dat"), tracks = readFile(tree / "demotrk.dat");
    std::map<std::string, std::string> good;
    for (const auto &entry : fs::recursive_directory_iterator(tree))
        if (entry.is_regular_file() && kindOf(entry.path()) && !std::regex_search(entry.path().string(), std::regex("fish|tunel|mp3|fx_idx|background_mode")))
            good[entry.path()] = readFile(entry.path());
    for (unsigned seed = 1; seed <= 5; seed++) {
        unsigned i = seed * 97;
        for (const auto &[path, bytes] : good)
            ASSERT_TRUE(writeFile(path, damaged(bytes, *kindOf(path), i++ % damageVariants(*kindOf(path)))));
        play();
        if (seed == 5) // every entry but the last one empty
            for (size_t at = 8; at + 272 <= pack.size() && pack[at]; at += 272)
                pack.replace(at + 264, 4, 4, '\0');
        ASSERT_TRUE(writeFile(release + "/demo.dat", seed < 5 ? damaged(pack, *kindOf("demo.dat"), i++ % 100) : pack));
        ASSERT_TRUE(writeFile(release + "/demotrk.dat", damaged(tracks, *kindOf("demo.dat"), i % 100)));
        play({}, false, release);
        EXPECT_EQ(listDir(release + "/lwobj"), objects);
    }
    ASSERT_TRUE(writeFile(tree / "textures/fish/txt3.png", readFile(tree / "textures/fish/txt3.png").substr(0, 40)));
    EXPECT_NE(play().out.find("textures/fish/txt3.png not found or not 256x256"), std::string::npos);
}

// The n-th write failing, for n = 1, 2, ... up to the last write of each
// writer: every file it replaces is its old bytes or the whole new ones.
TEST(WriteFaults, EveryFailingWriteLeavesTheOldFileOrTheWholeNewOne)
{
    TempDir dir;
    ASSERT_TRUE(chdir(dir.path().c_str()) == 0 && makeDirs("a/lwobj"));
    dataSetBasePath("a/");
    ASSERT_TRUE(writeFile("a/lwobj/cube.lobj", readFile(production + "/lwobj/simplecube.lobj")));
    Object *cube = objLoad("lwobj/cube.lobj", 1e3);
    static Cvar value = cvarDefine("hostile_value", "0.5", 0, 1), colour = cvarDefine("hostile_colour", "", 0, 1, CVAR_COLOR);
    CvarRegister(&value), CvarRegister(&colour), CvarAddFile("x.vars"), CvarAddFile("y.vars");
    ASSERT_TRUE(writeFile("a/y.vars", "hostile_colour 1 2 3 4\n"));
    CvarLoad();
    std::vector<int16_t> table(1 << 16, 7);
    char vars[] = "x.vars", cubeName[] = "lwobj/cube.lobj", *names[] = {vars, cubeName, nullptr};
    const std::pair<std::function<void()>, std::vector<std::string>> writers[] = {
        {CvarSaveAll, {"a/x.vars", "a/y.vars"}},
        {[&] { dataBuildPack(names); }, {"demo.dat"}},
        {[&] { dataSaveFile("curl.dat", table.data(), (int32_t)table.size() * 2); }, {"a/curl.dat"}},
        {[&] { objSave(cube, "lwobj/cube.lobj.cached"); }, {"a/lwobj/cube.lobj.cached"}},
    };
    for (const auto &[save, files] : writers) {
        std::vector<std::string> fresh;
        dataFailWrite(0);
        save();
        for (const std::string &file : files)
            fresh.push_back(readFile(file)), writeFile(file, "old");
        for (long n = 1; n == 1 || dataWritesCounted() >= n - 1; n++) {
            dataFailWrite(n);
            save();
            for (size_t i = 0; i < files.size(); i++) {
                std::string now = readFile(files[i]);
                EXPECT_TRUE(now == "old" || now == fresh[i]) << files[i] << " after write " << n << " failed";
                EXPECT_FALSE(fs::exists(files[i] + ".part"));
                ASSERT_TRUE(writeFile(files[i], "old"));
            }
        }
    }
    obj_Free(cube);
}

// The files a development run writes, with older contents that the run
// replaces: variable files as authored, a cut demo.dat and, under a file size
// limit, a cut curl.dat and caches that are refused and rebuilt. With a write
// failing, at a point of the seam or past the limit, each file is its old
// bytes or the whole new ones.
TEST_F(HostileRuns, FailingWritesInAProgramRunKeepOldFilesOrWriteWholeOnes)
{
    std::map<std::string, std::string> fresh;
    for (const auto &entry : fs::recursive_directory_iterator(root.path()))
        if (std::regex_match(entry.path().string(), std::regex(".*(curl.dat|demo.dat|\\.vars|\\.cached|\\.lob)")))
            fresh[entry.path()] = readFile(entry.path());
    for (long n : {-1L, 1L, 2L, 300L, 736L, 740L, 800L, 851L}) {
        std::map<std::string, std::string> old = fresh;
        for (auto &[path, bytes] : old) {
            if (std::regex_match(path, std::regex(".*\\.vars")))
                bytes = readFile(production + "/" + fs::path(path).filename().string());
            else if (n < 0 || path.find("demo.dat") != std::string::npos)
                bytes.resize(100);
            ASSERT_TRUE(writeFile(path, bytes));
        }
        rlimit unlimited, limit = {65536, RLIM_INFINITY};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        if (n < 0)
            setrlimit(RLIMIT_FSIZE, &limit);
        RunResult r = play({{"VANTOREL_FAIL_WRITE", std::to_string(std::max(n, 0L))}});
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(r.exitCode, 0) << n;
        for (const auto &[path, bytes] : old)
            EXPECT_TRUE(readFile(path) == bytes || readFile(path) == fresh[path]) << path << " with write " << n << " failing";
        // curl.dat and demo.dat are larger than the limit, the variable files smaller.
        EXPECT_TRUE(n > 0 || (readFile(tree / "curl.dat") == old[tree / "curl.dat"] &&
                              readFile(tree / "post.vars") == fresh[tree / "post.vars"])) << r.out;
    }
}

// Every bound variable follows a track that holds NaN, infinities, +-1e30 and
// large negative values, 2 of 3 segments of 12 rows, a small value otherwise;
// fx_idx and background_mode step through the effects, now and then hostile
// too. The whole show at 2 frames a second meets each effect with each value.
TEST_F(HostileRuns, HostileTracksForTheWholeShow)
{
    static const float hostile[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -2147483648.0f, -1e9f};
    Cvar *bound[128];
    int count = hostTrackedList(bound, 128), track = 0;
    for (int i = 0; i < count; i++)
        for (const char *suffix : bound[i]->kind == CVAR_FLOAT ? std::vector<const char *>{""}
                                  : bound[i]->kind == CVAR_COLOR ? std::vector<const char *>{"_r", "_g", "_b"}
                                                                 : std::vector<const char *>{"_x", "_y", "_z"}) {
            std::vector<SyncKey> keys;
            for (int s = 0, t = track++; s * 12 < 4200; s++) {
                float v = (s + t) % 3 ? hostile[s / 7 % 7] : (float)((s + t) % 8);
                if (bound[i] == &fx_idx || bound[i] == &background_mode)
                    v = s % (bound[i] == &fx_idx ? 11 : 13) ? (float)(s % (bound[i] == &fx_idx ? 7 : 4)) : hostile[s % 7];
                keys.push_back({s * 12, v, SYNC_STEP});
            }
            writeTrack(std::string(bound[i]->name) + suffix, keys);
        }
    RunResult r = play({}, true);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(listDir(root / "run/frames").size(), 360u);
}

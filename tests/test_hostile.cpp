// Hostile input: damaged files of every kind, writes failing at every point,
// tracks driving every bound variable to NaN, infinities and huge values. The
// program ends with exit 0 or 10, never a signal or a sanitizer report.

#include <sys/resource.h>

#include <regex>

#include "cvar/cvarfile.h"
#include "data/data.h"
#include "data/image.h"
#include "data/objfile.h"
#include "data/pack.h"
#include "fx/backimage.h"
#include "fx/fx.h"
#include "host/host.h"
#include "host/hostvars.h"
#include "platform/audio.h"
#include "testutil.h"
#include "writefaults.h"

namespace fs = std::filesystem;
static const std::string production = getenv("VANTOREL_PRODUCTION_TREE") ? getenv("VANTOREL_PRODUCTION_TREE") : "";

// A file kind: a sample in the production tree, the names of its kind, the
// offsets of its 32-bit counts (none: text, where every number is one) and
// their byte order, and how the engine reads such a file.
struct Kind {
    const char *sample, *names;
    std::vector<int> counts;
    bool bigEndian;
    void (*read)(const char *path);
};
static char *varsSlot = (char *)"post.vars";
static const Kind kinds[] = {
    {"demotrk.dat", ".*\\.dat", {4, 8, 272, 276}, false, [](const char *path) {
         DataPack *pack = dataOpenPack(path);
         for (DataEntry *entry = pack ? pack->entries : nullptr; entry; entry = entry->next)
             free(dataLoadFile(entry->name));
         dataClosePack(pack);
     }},
    {"sync_fx_idx.track", ".*\\.track", {0, 4, 8}, false, [](const char *) {
         SyncDevice *device = syncCreateDevice("sync");
         for (double row : {-1e300, 0.0, 30.5, 1e9, (double)NAN})
             syncGetValue(syncGetTrack(device, "fx_idx"), row);
         syncDestroyDevice(device);
     }},
    {"post.vars", ".*\\.vars", {}, false, [](const char *path) {
         DataFile *file = dataFileOpen(path);
         CvarReadVariables(file, &varsSlot), dataFileClose(file);
     }},
    {"backgrounds/morla/list.txt", ".*list\\.txt", {}, false, [](const char *) { backimage_load(); }},
    {"backgrounds/morla/hud.png", ".*\\.png", {8, 16, 20, 33}, true, [](const char *path) { txt_FreeTexture(txtLoadPNG(path)); }},
    {"lwobj/simplecube.lobj", ".*\\.(lobj|cached|lob)", {4, 8, 108}, true, [](const char *path) { obj_Free(objLoad(path, 1e3)); }},
    {"lwobj/elude.obj", ".*\\.(lwo|obj)", {4, 16, 32, 58}, true, [](const char *path) { obj_Free(objImport(path)); }},
    {"music.mp3", ".*\\.mp3", {44, 48}, true, [](const char *path) { audioStreamClose(audioStreamOpen(path)); }},
};

static const Kind *kindOf(const std::string &name)
{
    auto k = std::find_if(std::begin(kinds), std::end(kinds), [&](const Kind &k) { return std::regex_match(name, std::regex(k.names)); });
    return k == std::end(kinds) ? nullptr : k;
}

// Variant v of a damaged copy, v below variants(kind): cut at every length up
// to 64 bytes, then at 8 random longer lengths, then each count set to 0, -1,
// 2^31 - 1 and 2^32 - 1 (in text: every number), then 24 copies with 1 to 8
// random bits flipped.
static unsigned variants(const Kind &kind) { return 65 + 8 + 4 * std::max<unsigned>(kind.counts.size(), 1) + 24; }
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

// A replaced file holds its old bytes or the whole new ones; otherwise says what it holds.
static testing::AssertionResult oldOrWhole(const std::string &now, const std::string &old, const std::string &fresh)
{
    if (now == old || now == fresh)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << now.size() << " bytes, neither the old " << old.size() << " nor the new "
                                       << fresh.size();
}

TEST(HostileFiles, EveryKindDamagedEveryWayInProcess)
{
    TempDir dir;
    ASSERT_TRUE(fs::exists(production + "/.built")) << "needs the production tree";
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    std::error_code error;
    fs::copy(production + "/backgrounds", "backgrounds", fs::copy_options::recursive, error);
    dataSetBasePath("");
    hostRegisterGroup1(), CvarRegisterList(&backimage_vars), hostRegisterGroup3();
    for (const Kind &kind : kinds) {
        const std::string good = readFile(production + "/" + kind.sample);
        fs::create_directories(fs::path(kind.sample).parent_path(), error);
        for (unsigned v = 0; v < variants(kind); v++) {
            ASSERT_TRUE(writeFile(kind.sample, damaged(good, kind, v))) << kind.sample << ", variant " << v;
            kind.read(kind.sample);
        }
    }
}

// The n-th write failing, n = 1, 2, ... past the last write of each writer:
// every file it replaces is its old bytes or the whole new ones.
TEST(WriteFaults, EveryFailingWriteLeavesTheOldFileOrTheWholeNewOne)
{
    TempDir dir;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ASSERT_TRUE(makeDirs("a"));
    dataSetBasePath("a/");
    ObjectPtr cube(meshOf({{0, 0, 0}, {900, 0, 0}, {0, 900, 0}}, {{0, 1, 2}}));
    static Cvar value = cvarDefine("hostile_value", "0.5", 0, 1), colour = cvarDefine("hostile_colour", "", 0, 1, CVAR_COLOR);
    CvarRegister(&value), CvarRegister(&colour), CvarAddFile("x.vars"), CvarAddFile("y.vars");
    ASSERT_TRUE(writeFile("a/y.vars", "hostile_colour 1 2 3 4\n"));
    CvarLoad();
    std::vector<int16_t> table(1 << 16, 7);
    char x[] = "x.vars", y[] = "y.vars", *names[] = {x, y, nullptr};
    const std::pair<std::function<void()>, std::vector<std::string>> writers[] = {
        {CvarSaveAll, {"a/x.vars", "a/y.vars"}},
        {[&] { dataBuildPack(names); }, {"demo.dat"}},
        {[&] { dataSaveFile("curl.dat", table.data(), (int32_t)table.size() * 2); }, {"a/curl.dat"}},
        {[&] { objSave(cube.get(), "cube.lobj.cached"); }, {"a/cube.lobj.cached"}},
    };
    for (const auto &[save, files] : writers) {
        std::vector<std::string> fresh;
        dataFailWrite(0);
        save();
        for (const std::string &file : files)
            fresh.push_back(readFile(file)), writeFile(file, "old");
        long n = 1;
        for (; n == 1 || dataWritesCounted() >= n - 1; n++) {
            dataFailWrite(n), save();
            for (size_t i = 0; i < files.size(); i++) {
                SCOPED_TRACE(files[i] + " after write " + std::to_string(n) + " failed");
                EXPECT_TRUE(oldOrWhole(readFile(files[i]), "old", fresh[i]));
                EXPECT_FALSE(fs::exists(files[i] + ".part"));
                ASSERT_TRUE(writeFile(files[i], "old"));
            }
        }
        EXPECT_GT(n, 3) << files[0]; // the creation, a write and the rename at least
    }
}

// Program runs in a private copy of the production tree ("Vantorel/" beside
// "run/") where fx_idx and background_mode change every row, so that a few
// frames meet every effect. A first clean run writes curl.dat, the object
// caches and demo.dat.
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
        ASSERT_TRUE(writeFile(tree / "curl.dat-dontcache", "1"));
        ASSERT_TRUE(makeDirs(root / "run"));
        ASSERT_EQ(play().exitCode, 0);
    }
    void writeTrack(const std::string &name, const std::vector<SyncKey> &keys)
    {
        ASSERT_TRUE(writeFile(tree / ("sync_" + name + ".track"), trackFile(keys)));
    }
    // 8 frames at 25 a second (rows 0 to 6) of a development run, or a release
    // run in dir; seconds > 0 captures that much of the show at 2 a second.
    // program: another build of the program than the shipped one.
    RunResult play(const std::vector<std::pair<std::string, std::string>> &env = {}, const std::string &dir = "",
                   int seconds = 0, const char *program = nullptr)
    {
        std::vector<std::string> args = {"--capture", "frames", "--overwrite", "--fps", seconds ? "2" : "25",
                                         "--duration", seconds ? std::to_string(seconds) : "0.3"};
        if (!dir.empty())
            args.push_back("-release");
        RunResult r = runVantorel(dir.empty() ? root / "run" : dir, args, env, 60.0, program);
        EXPECT_EQ(r.signal, 0) << r.out << r.err;
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 10) << "exit code " << r.exitCode << "\n" << r.out << r.err;
        EXPECT_NE(r.out, "") << r.err;
        EXPECT_FALSE(std::regex_search(r.err, std::regex("Sanitizer|runtime error"))) << r.err;
        return r;
    }
    TempDir root;
    const fs::path tree = root / "Vantorel";
};

// Every file damaged at once, each in its own way, in development runs and in
// release runs of the pack they wrote, its table damaged too; the pictures and
// the music that start-up needs stay whole, or the first would hide the rest,
// and curl.dat holds extreme field values. Last, such a picture cut: exit 10.
TEST_F(HostileRuns, DamagedFilesInDevelopmentAndReleaseRuns)
{
    // Loose objects beside a release run, which must neither read them in place
    // of a refused pack entry's bytes nor write them.
    const std::string release = root / "release";
    fs::create_directories(release), fs::copy(production + "/lwobj", release + "/lwobj", fs::copy_options::recursive);
    const std::vector<std::string> objects = listDir(release + "/lwobj");
    ASSERT_TRUE(writeFile(release + "/music.mp3", readFile(tree / "music.mp3")));
    const std::string tracks = readFile(tree / "demotrk.dat"), curl = readFile(tree / "curl.dat");
    std::map<std::string, std::string> good;
    for (const auto &entry : fs::recursive_directory_iterator(tree))
        if (entry.is_regular_file() && kindOf(entry.path()) &&
            !std::regex_search(entry.path().string(), std::regex("fish|tunel|mp3|fx_idx|background_mode|curl.dat")))
            good[entry.path()] = readFile(entry.path());
    for (unsigned seed = 1; seed <= 3; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        unsigned i = seed * 97;
        for (const auto &[path, bytes] : good)
            ASSERT_TRUE(writeFile(path, damaged(bytes, *kindOf(path), i++ % variants(*kindOf(path)))));
        std::string field = seed < 3 ? std::string(curl.size(), seed == 1 ? '\x7f' : '\x80') : damaged(curl, kinds[0], 100);
        ASSERT_TRUE(writeFile(tree / "curl.dat", field));
        play();
        std::string pack = readFile(root / "run/demo.dat"); // the damaged files, packed by that run
        if (seed == 3) // every entry but the last one empty
            for (size_t at = 8; at + 272 <= pack.size() && pack[at]; at += 272)
                pack.replace(at + 264, 4, 4, '\0');
        ASSERT_TRUE(writeFile(release + "/demo.dat", seed < 3 ? damaged(pack, kinds[0], 73 + 5 * seed) : pack));
        ASSERT_TRUE(writeFile(release + "/demotrk.dat", damaged(tracks, kinds[0], i % 100)));
        play({}, release);
        EXPECT_EQ(listDir(release + "/lwobj"), objects);
    }
    ASSERT_TRUE(writeFile(tree / "textures/fish/txt3.png", readFile(tree / "textures/fish/txt3.png").substr(0, 40)));
    RunResult r = play();
    EXPECT_EQ(r.exitCode, 10);
    // The fatal setup message is followed by its newline, as the tunnel's is.
    EXPECT_NE(r.out.find("[fishtest1_setup :  112]\"Image textures/fish/txt3.png not found or not 256x256\\n\"\n\n"),
              std::string::npos) << r.out;
}

// The files a development run writes at exit, each older than what the run
// writes (variable files as authored; curl.dat, demo.dat and object caches
// cut, so refused and rebuilt), under a file size limit that curl.dat and
// demo.dat exceed, in the program whose 3rd write fails too: each file is its
// old bytes or the whole new ones, and the large two are the old.
TEST_F(HostileRuns, FailingWritesInAProgramRunKeepOldFilesOrWriteWholeOnes)
{
    std::map<std::string, std::string> fresh, old;
    for (const auto &entry : fs::recursive_directory_iterator(root.path()))
        if (std::regex_match(entry.path().string(), std::regex(".*(curl.dat|demo.dat|\\.vars|\\.cached)"))) {
            fresh[entry.path()] = old[entry.path()] = readFile(entry.path());
            std::string &bytes = old[entry.path()];
            bytes = entry.path().extension() == ".vars" ? readFile(production + "/" + entry.path().filename().string())
                                                        : bytes.substr(0, 100);
            ASSERT_TRUE(writeFile(entry.path(), bytes));
        }
    rlimit unlimited, limit = {65536, RLIM_INFINITY};
    getrlimit(RLIMIT_FSIZE, &unlimited), setrlimit(RLIMIT_FSIZE, &limit);
    RunResult r = play({{"VANTOREL_FAIL_WRITE", "3"}}, "", 0, VANTOREL_FAULTY_BINARY);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    EXPECT_EQ(r.exitCode, 0);
    for (const auto &[path, bytes] : old)
        EXPECT_TRUE(oldOrWhole(readFile(path), bytes, fresh[path])) << path;
    EXPECT_EQ(readFile(tree / "curl.dat"), old[tree / "curl.dat"]) << r.out;
    EXPECT_EQ(readFile(root / "run/demo.dat"), old[root / "run/demo.dat"]);
}

// Every bound variable holds NaN, infinities, +-1e30 or large negative values
// in 2 of 3 segments of 12 rows, while fx_idx and background_mode step through
// the effects and backgrounds, now and then hostile too: 26 seconds at 2
// frames a second meet each effect with each value.
TEST_F(HostileRuns, HostileTrackValuesInEveryEffect)
{
    static const float hostile[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -2147483648.0f, -1e9f};
    static const char *const parts[] = {"", "_r", "_g", "_b", "_x", "_y", "_z"};
    Cvar *bound[128];
    int count = hostTrackedList(bound, 128), track = 0;
    for (int i = 0; i < count; i++)
        for (int kind = bound[i]->kind, p = kind == CVAR_FLOAT ? 0 : kind == CVAR_COLOR ? 1 : 4; p < 7; p++) {
            std::vector<SyncKey> keys;
            for (int s = 0, t = track++; s < 49; s++) {
                float v = (s + t) % 3 ? hostile[s / 7 % 7] : (float)((s + t) % 8);
                if (bound[i] == &fx_idx || bound[i] == &background_mode)
                    v = s % 11 ? (float)(s % (bound[i] == &fx_idx ? 7 : 4)) : hostile[s % 7];
                keys.push_back({s * 12, v, SYNC_STEP});
            }
            writeTrack(std::string(bound[i]->name) + parts[p], keys);
            if (p == 0 || p == 3)
                break;
        }
    static const char *const words[] = {"nan", "inf", "-1e30", "4294967295", "-1e9"};
    int file = 0; // the untracked values of the variable files too
    for (const auto &entry : fs::directory_iterator(tree))
        if (entry.path().extension() == ".vars") {
            std::string text = readFile(entry.path());
            ASSERT_TRUE(writeFile(entry.path(), std::regex_replace(text, std::regex("(\\s)-?[0-9][-+.e0-9]*"), std::string("$1") + words[file++ % 5])));
        }
    RunResult r = play({}, "", 26);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(listDir(root / "run/frames").size(), 52u);
}

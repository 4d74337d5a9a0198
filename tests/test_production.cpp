// The default production: the builder writes a complete, deterministic tree
// whose variable files and tracks the engine reads, and refuses bad sources.

#include <sys/wait.h>

#include "catalog.h"
#include "data/pack.h"
#include "platform/audio.h"
#include "testutil.h"

#ifndef VANTOREL_BUILD_BINARY
#error "VANTOREL_BUILD_BINARY must name the production builder"
#endif
#ifndef VANTOREL_PRODUCTION_DIR
#error "VANTOREL_PRODUCTION_DIR must name the production sources"
#endif

namespace fs = std::filesystem;

// Runs the builder; its exit code, with what it said in *out.
static int build(const std::string &source, const std::string &out, std::string *said = nullptr,
                 const std::string &options = "")
{
    std::string log = out + ".log";
    int status = system((std::string(VANTOREL_BUILD_BINARY) + " --source '" + source + "' --out '" + out + "' " +
                         options + " > '" + log + "' 2>&1").c_str());
    if (said)
        *said = readFile(log);
    remove(log.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The tree the test run built once (a fixture of the test run), or one built
// here when the tests run on their own.
static std::string sharedTree()
{
    static TempDir *own;
    const char *tree = getenv("VANTOREL_PRODUCTION_TREE");
    if (tree && fs::exists(std::string(tree) + "/.built"))
        return tree;
    if (!own && build(VANTOREL_PRODUCTION_DIR, (own = new TempDir())->path() + "/tree") != 0)
        return "";
    return own->path() + "/tree";
}

class ProductionTree : public testing::Test {
protected:
    static void SetUpTestSuite() { root = sharedTree(); }
    void SetUp() override { ASSERT_FALSE(root.empty()) << "the production did not build"; }
    static std::string root;
};
std::string ProductionTree::root;

TEST_F(ProductionTree, VariableFilesNameOnlyCatalogVariablesWithTheirKindsShape)
{
    std::set<std::string> named;
    for (const char *file : cvarCatalogFiles) {
        std::istringstream lines(readFile(root + "/" + file));
        int count = 0;
        for (std::string line, name; std::getline(lines, line); count++) {
            std::istringstream in(line);
            in >> name;
            const CvarCatalogEntry *entry = cvarCatalogFind(name.c_str());
            ASSERT_NE(entry, nullptr) << file << ": " << line;
            int numbers = 0;
            for (double v; in >> v;)
                numbers++;
            EXPECT_EQ(numbers, entry->kind == CVAR_COLOR ? 4 : entry->kind == CVAR_VEC3 ? 3 : 1) << line;
            named.insert(name);
        }
        EXPECT_GT(count, 0) << file;
    }
    for (const CvarCatalogEntry &entry : cvarCatalog)
        EXPECT_TRUE(!entry.file || named.count(entry.name)) << entry.name << " has no value in " << entry.file;
}

TEST_F(ProductionTree, EveryTrackedComponentHasATrackFileAlsoInTheTrackPack)
{
    SyncDevice *device = syncCreateDevice("sync");
    device->open = [](const char *path, const char *mode) -> void * { return fopen((root + "/" + path).c_str(), mode); };
    DataPack *pack = nullptr;
    captured([&] { pack = dataOpenPack((root + "/demotrk.dat").c_str()); });
    ASSERT_NE(pack, nullptr);
    int tracked = 0, files = 0, entries = 0;
    for (const CvarCatalogEntry &entry : cvarCatalog) {
        tracked += entry.tracked;
        for (int i = 0; entry.tracked && i < (entry.kind == CVAR_FLOAT ? 1 : 3); i++, files++) {
            const char *const suffixes[] = {"_r", "_g", "_b", "_x", "_y", "_z"};
            std::string name = std::string(entry.name) + (entry.kind == CVAR_FLOAT ? "" : suffixes[i + 3 * (entry.kind != CVAR_COLOR)]);
            std::string file = syncTrackPath("sync", name.c_str()), bytes = readFile(root + "/" + file);
            // The engine's own reader takes every key the file holds; the pack holds the same file.
            SCOPED_TRACE(file);
            SyncTrack *track = syncGetTrack(device, name.c_str());
            DataEntry *packed = dataFindEntry(file.c_str());
            ASSERT_NE(track, nullptr);
            ASSERT_NE(packed, nullptr);
            EXPECT_GT(track->keyCount, 0);
            EXPECT_EQ(bytes.size(), 4u + 9u * (size_t)track->keyCount);
            EXPECT_EQ(packed->size, (int32_t)bytes.size());
        }
    }
    for (DataEntry *e = pack->entries; e; e = e->next)
        entries++;
    EXPECT_EQ((std::vector<int>{tracked, files, entries}), (std::vector<int>{60, 72, 72})) << "tracked, files, entries";
    dataClosePack(pack);
    syncDestroyDevice(device);
}

// The value of a tracked scalar over the whole show, sampled on every row.
static std::vector<double> sweep(const std::string &root, const char *name)
{
    SyncDevice *device = syncCreateDevice("sync");
    static std::string base;
    base = root;
    device->open = [](const char *path, const char *mode) -> void * { return fopen((base + "/" + path).c_str(), mode); };
    SyncTrack *track = syncGetTrack(device, name);
    std::vector<double> values;
    for (int row = 0; row <= 4080; row++)
        values.push_back(syncGetValue(track, row + 0.5));
    syncDestroyDevice(device);
    return values;
}

TEST_F(ProductionTree, TheShowVisitsEveryEffectBackgroundLayerModeAndPostPass)
{
    std::vector<double> fx = sweep(root, "fx_idx"), background = sweep(root, "background_mode"),
                        foreground = sweep(root, "foreground_mode"), back = sweep(root, "backimage_mode_back"),
                        front = sweep(root, "backimage_mode_front");
    std::set<int> effects(fx.begin(), fx.end()), backgrounds(background.begin(), background.end()),
        fronts(foreground.begin(), foreground.end()), modes; // (int) of each value
    // Image-layer blend modes, over the uses in which they are drawn.
    for (size_t r = 0; r < background.size(); r++) {
        if ((int)background[r] == 3)
            modes.insert((int)back[r]);
        if ((int)foreground[r] == 3 || (int)foreground[r] == 4)
            modes.insert((int)front[r]);
    }
    auto unseen = [](const std::set<int> &seen, std::set<int> wanted) { // the wanted values never seen
        for (int v : seen)
            wanted.erase(v);
        return wanted;
    };
    EXPECT_EQ(unseen(effects, {0, 1, 2, 3, 4, 5, 6}), std::set<int>{}) << "effects";
    EXPECT_EQ(unseen(backgrounds, {1, 2, 3}), std::set<int>{}) << "background modes";
    EXPECT_EQ(unseen(modes, {0, 1, 2, 3, 4}), std::set<int>{}) << "image-layer blend modes";
    EXPECT_EQ(unseen(fronts, {3, 4}), std::set<int>{}) << "foreground modes";
    const std::pair<const char *, double> switches[] = {
        {"post_blur_h", 0}, {"post_blur_v", 0}, {"post_edgedetect", 0.5}, {"post_edgedetect_additive", 0},
        {"post_aberration", 0}, {"post_aberration_blur", 0}, {"post_glow", 0}, {"post_glitch_xstrength", 0},
        {"post_glitch_ystrength", 0}, {"post_brightnedd", 1}}; // brightness runs off 1 in either direction
    for (auto [name, above] : switches) {
        std::vector<double> v = sweep(root, name);
        EXPECT_TRUE(std::any_of(v.begin(), v.end(), [&](double x) { return above == 1 ? x != 1 : x > above; })) << name;
    }
    std::vector<double> time = sweep(root, "fx_time");
    EXPECT_NEAR(time[0], 0.0, 0.1);
    EXPECT_NEAR(time[4080], 180.0, 0.1);
}

TEST(ProductionBuild, TwoBuildsAreByteIdentical)
{
    TempDir dir;
    std::string first = sharedTree();
    ASSERT_FALSE(first.empty());
    // An empty cache: every generator runs again.
    ASSERT_EQ(build(VANTOREL_PRODUCTION_DIR, dir / "b", nullptr, "--cache '" + dir / "cache" + "'"), 0);
    size_t files = 0;
    for (const auto &entry : fs::recursive_directory_iterator(first)) {
        std::string name = fs::relative(entry.path(), first).string();
        if (name == ".built") // the manifest records file times
            continue;
        files += entry.is_regular_file();
        EXPECT_TRUE(!entry.is_regular_file() || readFile(entry.path()) == readFile(dir / "b/" + name)) << name << " differs";
    }
    for (const auto &entry : fs::recursive_directory_iterator(dir / "b"))
        files -= entry.is_regular_file() && entry.path().filename() != ".built";
    EXPECT_EQ(files, 0u) << "the second tree holds other files";
}

TEST(ProductionBuild, BadSourcesAreRefusedAndTheOldTreeKept)
{
    TempDir dir;
    std::string sources = dir / "production";
    fs::copy(VANTOREL_PRODUCTION_DIR, sources, fs::copy_options::recursive);
    ASSERT_TRUE(makeDirs(dir / "tree"));
    ASSERT_TRUE(writeFile(dir / "tree/marker", "old tree"));
    const std::string timeline = readFile(sources + "/timeline.txt"), vars = readFile(sources + "/vars/post.vars");
    const struct { const char *what; std::string file, text, message; } cases[] = {
        {"unknown variable", "timeline.txt", timeline + "@ 101\nfx_speed 3\n", "fx_speed is not a tracked variable"},
        {"untracked variable", "timeline.txt", timeline + "@ 101\ncurl_zoom 3\n", "curl_zoom is not a tracked variable"},
        {"key behind the last", "timeline.txt", timeline + "@ 50\nfx_time 3\n", "fx_time already has a key"},
        {"bad position", "timeline.txt", timeline + "@ 12:4\n", "a position is"},
        {"colour with one value", "timeline.txt", timeline + "@ 101\npost_glow_color 1\n", "takes 3 value(s)"},
        {"unknown kind", "timeline.txt", timeline + "@ 101\nfx_idx 1 wobble\n", "unknown interpolation wobble"},
        {"track left out", "timeline.txt", "@ 0\nfx_idx 2\n", "no keys for"},
        {"variable of another file", "vars/post.vars", vars + "curl_zoom 2\n", "curl_zoom belongs in curl.vars"},
        {"colour as a scalar", "vars/post.vars", vars + "post_glow_color 1\n", "takes 4 number(s)"},
        {"set twice", "vars/post.vars", vars + "fx_idx 3\n", "fx_idx is set twice"},
        {"value missing", "vars/post.vars", "fx_idx 2\n", "no value for"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string original = readFile(sources + "/" + c.file), said;
        ASSERT_TRUE(writeFile(sources + "/" + c.file, c.text));
        EXPECT_EQ(build(sources, dir / "tree", &said), 1);
        EXPECT_NE(said.find(c.message), std::string::npos) << said;
        EXPECT_EQ(readFile(dir / "tree/marker"), "old tree");
        EXPECT_EQ(listDir(dir / "tree"), std::vector<std::string>{"marker"}) << "something was written";
        ASSERT_TRUE(writeFile(sources + "/" + c.file, original));
    }
}

// Width and height from a PNG header, or 0 x 0 for anything else.
static std::pair<int, int> pngSize(const std::string &bytes)
{
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    return {(int)be32(bytes, 16), (int)be32(bytes, 20)};
}

TEST_F(ProductionTree, EveryAssetTheEngineAsksForIsThereInItsShape)
{
    struct Picture {
        std::string name;
        int width, height; // 0: any size
    };
    std::vector<Picture> pictures = {{"backgrounds/morla/logo_composition2.png", 0, 0},
                                     {"backgrounds/morla/morla_podlogo_10pc.png", 320, 180}};
    const struct { const char *format; int first, last, width, height; } series[] = {
        {"textures/back_tunel/txt%d.png", 1, 3, 256, 256}, {"textures/fish/txt%d.png", 1, 7, 256, 256},
        {"backgrounds/morla/greets/greets%d.png", 1, 17, 0, 0}, {"backgrounds/morla/greets/morla_glitch%02d.png", 1, 20, 0, 0},
        {"textures/glitch/output%05d.png", 2, 99, 160, 90}};
    char name[128];
    for (const auto &s : series)
        for (int i = s.first; i <= s.last; i++)
            snprintf(name, sizeof name, s.format, i), pictures.push_back({name, s.width, s.height});
    // The image layer's list and the objects: the builder's tests check them.
    for (const Picture &p : pictures) {
        std::pair<int, int> size = pngSize(readFile(root + "/" + p.name));
        EXPECT_GT(size.first, 0) << p.name << " is missing or not a PNG";
        EXPECT_EQ(size, p.width ? std::make_pair(p.width, p.height) : size) << p.name;
    }

    // The music is the clock of the whole show: 102 bars at 136 BPM.
    AudioStream *music = audioStreamOpen((root + "/music.mp3").c_str());
    ASSERT_NE(music, nullptr);
    EXPECT_NEAR(audioStreamLength(music), 180.0, 0.05);
    audioStreamClose(music);
    // Converted objects are the engine's to write, not the builder's.
    EXPECT_FALSE(fs::exists(root + "/lwobj/elude.obj.cached"));
    EXPECT_FALSE(fs::exists(root + "/lwobj/particle_test1.lwo.lob"));
}

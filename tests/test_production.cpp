// The default production: the builder writes a complete, deterministic tree
// whose variable files and tracks the engine reads, and refuses bad sources.

#include <sys/wait.h>

#include "cvar/catalog.h"
#include "data/data.h"
#include "data/pack.h"
#include "platform/audio.h"
#include "sync/sync.h"
#include "testutil.h"

#ifndef VANTOREL_BUILD_BINARY
#error "VANTOREL_BUILD_BINARY must name the production builder"
#endif
#ifndef VANTOREL_PRODUCTION_DIR
#error "VANTOREL_PRODUCTION_DIR must name the production sources"
#endif

namespace fs = std::filesystem;

// Runs the builder; its exit code, with what it said in *out.
static int build(const std::string &source, const std::string &out, std::string *said = nullptr)
{
    std::string log = out + ".log";
    std::string command = std::string(VANTOREL_BUILD_BINARY) + " --source '" + source + "' --out '" + out +
                          "' > '" + log + "' 2>&1";
    int status = system(command.c_str());
    if (said)
        *said = readFile(log);
    remove(log.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every file of a tree, by relative path.
static std::map<std::string, std::string> treeFiles(const std::string &root)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = readFile(entry.path().string());
    }
    return files;
}

static std::vector<std::string> trackNames(const CvarCatalogEntry &entry)
{
    if (entry.kind == CVAR_FLOAT)
        return {entry.name};
    static const char *const colour[] = {"_r", "_g", "_b"}, *const vector[] = {"_x", "_y", "_z"};
    const char *const *suffix = entry.kind == CVAR_COLOR ? colour : vector;
    std::vector<std::string> names;
    for (int i = 0; i < 3; i++)
        names.push_back(std::string(entry.name) + suffix[i]);
    return names;
}

// The tree the test run built once (a fixture of the test run), or one built
// here when the tests run on their own.
static std::string sharedTree()
{
    static TempDir *own;
    const char *tree = getenv("VANTOREL_PRODUCTION_TREE");
    if (tree && fs::exists(std::string(tree) + "/.built"))
        return tree;
    if (!own) {
        own = new TempDir();
        if (build(VANTOREL_PRODUCTION_DIR, own->path() + "/tree") != 0)
            return "";
    }
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
        std::string line;
        int count = 0;
        while (std::getline(lines, line)) {
            std::istringstream in(line);
            std::string name;
            in >> name;
            const CvarCatalogEntry *entry = cvarCatalogFind(name.c_str());
            ASSERT_NE(entry, nullptr) << file << ": " << line;
            int numbers = 0;
            for (double v; in >> v;)
                numbers++;
            EXPECT_EQ(numbers, entry->kind == CVAR_COLOR ? 4 : entry->kind == CVAR_VEC3 ? 3 : 1) << line;
            named.insert(name);
            count++;
        }
        EXPECT_GT(count, 0) << file;
    }
    for (const CvarCatalogEntry &entry : cvarCatalog) {
        if (entry.file) {
            EXPECT_TRUE(named.count(entry.name)) << entry.name << " has no value in " << entry.file;
        }
    }
}

TEST_F(ProductionTree, EveryTrackedComponentHasATrackFileAlsoInTheTrackPack)
{
    SyncDevice *device = syncCreateDevice("sync");
    ASSERT_NE(device, nullptr);
    testing::internal::CaptureStdout();
    DataPack *pack = dataOpenPack((root + "/demotrk.dat").c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(pack, nullptr);
    int tracked = 0, files = 0;
    for (const CvarCatalogEntry &entry : cvarCatalog) {
        if (!entry.tracked)
            continue;
        tracked++;
        for (const std::string &name : trackNames(entry)) {
            std::string file = syncTrackPath("sync", name.c_str());
            std::string bytes = readFile(root + "/" + file);
            ASSERT_FALSE(bytes.empty()) << file;
            // The engine's own reader takes every key the file holds.
            device->open = [](const char *path, const char *mode) -> void * {
                return fopen((root + "/" + path).c_str(), mode);
            };
            SyncTrack *track = syncGetTrack(device, name.c_str());
            ASSERT_NE(track, nullptr);
            EXPECT_GT(track->keyCount, 0) << file;
            EXPECT_EQ(bytes.size(), 4u + 9u * (size_t)track->keyCount) << file;
            DataEntry *packed = dataFindEntry(file.c_str());
            ASSERT_NE(packed, nullptr) << file;
            EXPECT_EQ(packed->size, (int32_t)bytes.size());
            files++;
        }
    }
    EXPECT_EQ(tracked, 60);
    EXPECT_EQ(files, 72);
    int entries = 0;
    for (DataEntry *e = pack->entries; e; e = e->next)
        entries++;
    EXPECT_EQ(entries, 72);
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

static std::set<int> integersTaken(const std::vector<double> &values)
{
    std::set<int> taken;
    for (double v : values)
        taken.insert((int)v);
    return taken;
}

TEST_F(ProductionTree, TheShowVisitsEveryEffectBackgroundLayerModeAndPostPass)
{
    std::set<int> effects = integersTaken(sweep(root, "fx_idx"));
    for (int fx = 0; fx <= 6; fx++)
        EXPECT_TRUE(effects.count(fx)) << "effect " << fx;
    std::set<int> backgrounds = integersTaken(sweep(root, "background_mode"));
    for (int mode : {1, 2, 3})
        EXPECT_TRUE(backgrounds.count(mode)) << "background " << mode;
    std::set<int> fronts = integersTaken(sweep(root, "foreground_mode"));
    EXPECT_TRUE(fronts.count(3) && fronts.count(4));

    // Image-layer blend modes, over the uses in which they are drawn.
    std::vector<double> background = sweep(root, "background_mode"), foreground = sweep(root, "foreground_mode");
    std::vector<double> back = sweep(root, "backimage_mode_back"), front = sweep(root, "backimage_mode_front");
    std::set<int> modes;
    for (size_t r = 0; r < background.size(); r++) {
        if ((int)background[r] == 3)
            modes.insert((int)back[r]);
        if ((int)foreground[r] == 3 || (int)foreground[r] == 4)
            modes.insert((int)front[r]);
    }
    for (int mode = 0; mode <= 4; mode++)
        EXPECT_TRUE(modes.count(mode)) << "image-layer mode " << mode;

    struct Switch {
        const char *name;
        double above;
    } switches[] = {{"post_blur_h", 0},        {"post_blur_v", 0},       {"post_edgedetect", 0.5},
                    {"post_edgedetect_additive", 0}, {"post_aberration", 0}, {"post_aberration_blur", 0},
                    {"post_glow", 0},          {"post_glitch_xstrength", 0}, {"post_glitch_ystrength", 0}};
    for (const Switch &s : switches) {
        std::vector<double> v = sweep(root, s.name);
        EXPECT_TRUE(std::any_of(v.begin(), v.end(), [&](double x) { return x > s.above; })) << s.name;
    }
    std::vector<double> brightness = sweep(root, "post_brightnedd");
    EXPECT_TRUE(std::any_of(brightness.begin(), brightness.end(), [](double x) { return x != 1.0; }));
    std::vector<double> time = sweep(root, "fx_time");
    EXPECT_NEAR(time[0], 0.0, 0.1);
    EXPECT_NEAR(time[4080], 180.0, 0.1);
}

TEST(ProductionBuild, TwoBuildsAreByteIdentical)
{
    TempDir dir;
    std::string first = sharedTree();
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(build(VANTOREL_PRODUCTION_DIR, dir / "b"), 0);
    std::map<std::string, std::string> a = treeFiles(first), b = treeFiles(dir / "b");
    ASSERT_EQ(a.size(), b.size());
    for (const auto &file : a) {
        ASSERT_TRUE(b.count(file.first)) << file.first;
        EXPECT_TRUE(file.second == b[file.first]) << file.first << " differs";
    }
}

TEST(ProductionBuild, BadSourcesAreRefusedAndTheOldTreeKept)
{
    TempDir dir;
    std::string sources = dir / "production";
    fs::copy(VANTOREL_PRODUCTION_DIR, sources, fs::copy_options::recursive);
    ASSERT_TRUE(makeDirs(dir / "tree"));
    ASSERT_TRUE(writeFile(dir / "tree/marker", "old tree"));
    std::string timeline = readFile(sources + "/timeline.txt");
    std::string vars = readFile(sources + "/vars/post.vars");

    struct Case {
        const char *what;
        std::string file, text, message;
    } cases[] = {
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
    for (const Case &c : cases) {
        std::string original = readFile(sources + "/" + c.file);
        ASSERT_TRUE(writeFile(sources + "/" + c.file, c.text));
        std::string said;
        EXPECT_EQ(build(sources, dir / "tree", &said), 1) << c.what;
        EXPECT_NE(said.find(c.message), std::string::npos) << c.what << ": " << said;
        EXPECT_EQ(readFile(dir / "tree/marker"), "old tree") << c.what;
        EXPECT_FALSE(fs::exists(dir / "tree.building")) << c.what;
        ASSERT_TRUE(writeFile(sources + "/" + c.file, original));
    }
}

// Width and height from a PNG header, or 0 x 0 for anything else.
static std::pair<int, int> pngSize(const std::string &bytes)
{
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto be32 = [&](size_t at) {
        const unsigned char *p = (const unsigned char *)bytes.data() + at;
        return (int)(p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]);
    };
    return {be32(16), be32(20)};
}

TEST_F(ProductionTree, EveryAssetTheEngineAsksForIsThereInItsShape)
{
    struct Picture {
        std::string name;
        int width, height; // 0: any size
    };
    std::vector<Picture> pictures = {
        {"backgrounds/morla/logo_composition2.png", 0, 0},
        {"backgrounds/morla/morla_podlogo_10pc.png", 320, 180},
    };
    char name[128];
    for (int i = 1; i <= 3; i++) {
        snprintf(name, sizeof name, "textures/back_tunel/txt%d.png", i);
        pictures.push_back({name, 256, 256});
    }
    for (int i = 1; i <= 7; i++) {
        snprintf(name, sizeof name, "textures/fish/txt%d.png", i);
        pictures.push_back({name, 256, 256});
    }
    for (int i = 1; i <= 17; i++) {
        snprintf(name, sizeof name, "backgrounds/morla/greets/greets%d.png", i);
        pictures.push_back({name, 0, 0});
    }
    for (int i = 1; i <= 20; i++) {
        snprintf(name, sizeof name, "backgrounds/morla/greets/morla_glitch%02d.png", i);
        pictures.push_back({name, 0, 0});
    }
    for (int i = 2; i <= 99; i++) {
        snprintf(name, sizeof name, "textures/glitch/output%05d.png", i);
        pictures.push_back({name, 160, 90});
    }
    // The image layer's list names pictures of the tree.
    std::istringstream list(readFile(root + "/backgrounds/morla/list.txt"));
    std::string line;
    int listed = 0;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        ASSERT_NE(line.find(' '), std::string::npos) << line;
        pictures.push_back({line.substr(line.find(' ') + 1), 0, 0});
        listed++;
    }
    EXPECT_GE(listed, 4);
    for (const Picture &p : pictures) {
        std::pair<int, int> size = pngSize(readFile(root + "/" + p.name));
        EXPECT_GT(size.first, 0) << p.name << " is missing or not a PNG";
        if (p.width) {
            EXPECT_EQ(size, std::make_pair(p.width, p.height)) << p.name;
        }
    }

    for (const char *object : {"lwobj/blob3_mesh_hi.lobj", "lwobj/fx02_glow.lobj", "lwobj/weird2.lobj",
                               "lwobj/simplecube.lobj"}) {
        std::string bytes = readFile(root + "/" + object);
        ASSERT_GE(bytes.size(), 20u) << object;
    }
    for (const char *lightwave : {"lwobj/elude.obj", "lwobj/particle_test1.lwo"}) {
        std::string bytes = readFile(root + "/" + lightwave);
        ASSERT_GE(bytes.size(), 12u) << lightwave;
        EXPECT_EQ(bytes.substr(0, 4), "FORM") << lightwave;
        EXPECT_EQ(bytes.substr(8, 4), "LWO2") << lightwave;
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

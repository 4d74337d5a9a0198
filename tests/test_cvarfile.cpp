// Variable files: the line grammar, which file wins, and writing back.

#include <sys/stat.h>

#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "data/data.h"
#include "testutil.h"

static Cvar speed = cvarDefine("t_speed", "1", 0, 10);
static Cvar tint = cvarDefine("t_tint", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1);
static Cvar camera = cvarDefine("t_camera", "0 0 0", 0, 0, CVAR_VEC3, 0, 0, -1000, 0);
static Cvar loose = cvarDefine("t_loose", "7", 0, 0);

class VariableFiles : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeDirs(dir / "assets"));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        captured([] { dataSetBasePath("assets/"); });
        cvarList = nullptr;
        for (Cvar *c : {&loose, &speed, &tint, &camera})
            CvarRegister(c);
        dataWriteBack = 0; // no exit handler from these tests
    }
    void file(const std::string &name, const std::string &text) { ASSERT_TRUE(writeFile(dir / ("assets/" + name), text)); }
    std::string loadAll() { return captured(CvarLoad); }
    void files(std::initializer_list<std::pair<const char *, const char *>> named) // written and added in order
    {
        for (auto [name, text] : named)
            text ? file(name, text) : void(), CvarAddFile(name);
    }
    TempDir dir;
};

static std::vector<float> vec(const Cvar &c) { return {c.vec, c.vec + 4}; }
// The slot of the file the variable was last read from; -1 for none.
static long slot(const Cvar &c) { return c.source ? c.source - cvarFiles : -1; }

TEST_F(VariableFiles, TokenCountAndKindDecideWhatALineDoes)
{
    file("a.vars", "t_speed 2.5\n"
                   "t_tint 0.1 0.2 0.3 0.4\n"
                   "t_camera 1 2 3\n"
                   "t_tint 0.5 0.5 0.5\n"   // three numbers for a colour
                   "t_speed 1 2 3\n"        // four tokens for a scalar
                   "t_camera 1 2 3 4\n"     // five for a vector
                   "t_speed\n"              // one token
                   "\n"                     // blank
                   "t_nothing 4\n"          // not registered
                   "t_nothing 1 2 3\n"
                   "t_tint\t9 \r\n"         // any whitespace separates
                   "a b c d e f g\n");      // six tokens at most are taken
    CvarAddFile("a.vars");
    std::string out = loadAll();

    EXPECT_EQ(speed.value, 2.5f);
    EXPECT_STREQ(speed.text, "2.5");
    EXPECT_EQ(slot(speed), cvarFileCount - 1);
    EXPECT_EQ(vec(tint), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    EXPECT_EQ(tint.value, 9.0f); // two tokens set text and value, never vec
    EXPECT_EQ(vec(camera), (std::vector<float>{1, 2, 3, 1}));
    EXPECT_EQ(camera.value, 0.0f);

    std::vector<std::string> said = {"[Cvar]: Variable t_nothing not found\n", "[CvarLoad : ",
                                     "]\"Loading variables for source file <a.vars>\\n\"\n"};
    for (const char *invalid : {"t_tint 0.5 0.5 0.5\n", "t_speed 1 2 3\n", "t_camera 1 2 3 4\n", "t_speed\n", "\n",
                                "t_nothing 1 2 3\n", "a b c d e f g\n"})
        said.push_back(std::string("[CvarReadVariables :  106]\"Invalid variable in file:") + invalid + ", source:a.vars\\n\"\n");
    for (const std::string &message : said)
        EXPECT_NE(out.find(message), std::string::npos) << message << out;
}

TEST_F(VariableFiles, TheLastFileReadWinsAndBecomesTheSource)
{
    files({{"first.vars", "t_speed 3\nt_tint 1 0 0 1\n"}, {"missing.vars", nullptr}, {"second.vars", "t_speed 4\n"}});
    std::string out = loadAll();
    EXPECT_EQ(speed.value, 4.0f);
    EXPECT_STREQ(cvarFiles[0], "first.vars");
    EXPECT_EQ((std::vector<long>{slot(speed), slot(tint), slot(loose)}), (std::vector<long>{2, 0, -1}));
    // A missing file is reported and announced all the same.
    EXPECT_NE(out.find("LoadFile: Failed to find a file: missing.vars"), std::string::npos) << out;
    EXPECT_NE(out.find("Loading variables for source file <missing.vars>"), std::string::npos) << out;
}

TEST_F(VariableFiles, WriteBackThenReadBackRestoresEveryValue)
{
    files({{"first.vars", "t_tint 0.25 0.5 0.75 0.125\n"}, {"second.vars", "t_speed 6\nt_camera 4 5 6\n"}});
    loadAll();
    captured([] { CvarSet("t_speed", "8.5"); }); // as the console would leave it
    CvarSaveAll();

    // Registry order (newest first); the first file also takes the unnamed.
    EXPECT_EQ(readFile(dir / "assets/second.vars"), "t_camera 4.000000 5.000000 6.000000\nt_speed 8.500000\n");
    EXPECT_EQ(readFile(dir / "assets/first.vars"),
              "t_tint 0.250000 0.500000 0.750000 0.125000\nt_loose 7.000000\n");

    speed.value = tint.vec[0] = 0, std::fill_n(camera.vec, 4, 0.0f);
    loadAll();
    EXPECT_EQ(speed.value, 8.5f);
    EXPECT_EQ(vec(camera), (std::vector<float>{4, 5, 6, 1}));
    EXPECT_EQ(vec(tint), (std::vector<float>{0.25f, 0.5f, 0.75f, 0.125f}));
}

TEST_F(VariableFiles, WhatTracksDriveIsWrittenBackAsTheFileOrDefaultsGaveIt)
{
    files({{"first.vars", "t_tint 0.25 0.5 0.75 0.125\n"}, {"second.vars", "t_speed 6\nt_camera 4 5 6\n"}});
    loadAll();
    // Bound as the show binds them: every component of the tint, the
    // camera's x and z (its y has no track), the speed. The loose one (from
    // its defaults) is moved by its owner, as the intro moves its clock.
    SyncTrack *track = reinterpret_cast<SyncTrack *>(&speed); // only ever compared with null here
    struct Unbind {
        ~Unbind()
        {
            for (Cvar *c : {&loose, &speed, &tint, &camera})
                std::fill_n(c->tracks, 3, nullptr);
        }
    } unbind;
    speed.tracks[0] = track;
    std::fill_n(tint.tracks, 3, track);
    camera.tracks[0] = camera.tracks[2] = track;
    // The moment a run ends at: every driven component somewhere else.
    speed.value = 99, loose.value = 42;
    tint.vec[0] = tint.vec[1] = tint.vec[2] = 0.9f;
    camera.vec[0] = camera.vec[1] = camera.vec[2] = -3;
    CvarSaveAll();
    EXPECT_EQ(readFile(dir / "assets/second.vars"), "t_camera 4.000000 -3.000000 6.000000\nt_speed 6.000000\n");
    EXPECT_EQ(readFile(dir / "assets/first.vars"), "t_tint 0.250000 0.500000 0.750000 0.125000\nt_loose 7.000000\n");

    // A file read again while the show runs gives the new values to keep;
    // so does the console's text of a driven variable.
    captured([] {
        const char text[] = "t_camera 7 8 9\n";
        CvarReadText(text, sizeof text - 1, &cvarFiles[1]);
    });
    camera.vec[0] = camera.vec[2] = -3;
    captured([] { CvarSet("t_speed", "2.5"); });
    speed.value = 99;
    CvarSaveAll();
    EXPECT_EQ(readFile(dir / "assets/second.vars"), "t_camera 7.000000 8.000000 9.000000\nt_speed 2.500000\n");
}

TEST_F(VariableFiles, AFileThatCannotBeWrittenKeepsItsOldContent)
{
    files({{"first.vars", "t_speed 3\n"}, {"second.vars", "t_tint 1 1 1 1\n"}});
    loadAll();
    ASSERT_TRUE(makeDirs(dir / "assets/first.vars.part"));
    EXPECT_EQ(captured(CvarSaveAll), "failed to open file first.vars for cvar writing\n");
    EXPECT_EQ(readFile(dir / "assets/first.vars"), "t_speed 3\n");
    EXPECT_EQ(readFile(dir / "assets/second.vars"), "t_tint 1.000000 1.000000 1.000000 1.000000\n");
}

TEST_F(VariableFiles, LongLinesAreCutAndReadOnAsTheNextLine)
{
    // 256 bytes of blanks, then a line that continues past the cut.
    const std::string text = std::string(256, ' ') + "t_speed 5\n";
    files({{"long.vars", text.c_str()}});
    std::string out = loadAll();
    EXPECT_EQ(speed.value, 5.0f);
    EXPECT_NE(out.find("Invalid variable in file:" + text.substr(0, 256) + ", source:long.vars"), std::string::npos)
        << out;
}

// The write-back loses nothing a person wrote: a line naming no variable
// stays (after a warning naming file and line), a file nobody may write is
// left alone, a file keeps its permission bits, and a symbolic link stays a
// link with the new file written to its target.
TEST_F(VariableFiles, WriteBackKeepsUnknownLinesModesAndLinks)
{
    files({{"kept.vars", "t_speed 3\nt_sped 4\nt_nowhere 1 2 3 4\n"}, {"locked.vars", "t_tint 1 1 1 1\n"}});
    testing::internal::CaptureStderr();
    loadAll();
    std::string warned = testing::internal::GetCapturedStderr();
    EXPECT_NE(warned.find("kept.vars:2: no variable is called t_sped; the line stays in the file"), std::string::npos)
        << warned;
    EXPECT_NE(warned.find("kept.vars:3: no variable is called t_nowhere"), std::string::npos) << warned;
    const std::string locked = dir / "assets/locked.vars";
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    const std::string kept = dir / "assets/kept.vars";
    ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
    EXPECT_EQ(captured(CvarSaveAll), "failed to open file locked.vars for cvar writing\n");
    // The first file also takes the variables no file named.
    const std::string unnamed = "t_camera 0.000000 0.000000 -1000.000000\n";
    EXPECT_EQ(readFile(kept), "t_speed 3.000000\n" + unnamed + "t_loose 7.000000\nt_sped 4\nt_nowhere 1 2 3 4\n");
    struct stat info;
    ASSERT_EQ(stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(readFile(locked), "t_tint 1 1 1 1\n");
    ASSERT_EQ(stat(locked.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    // Read again, the kept lines are not doubled.
    loadAll();
    captured([] { CvarSet("t_speed", "5"); });
    captured(CvarSaveAll);
    EXPECT_EQ(readFile(kept), unnamed + "t_speed 5.000000\nt_loose 7.000000\nt_sped 4\nt_nowhere 1 2 3 4\n");

    // Through a link to a file elsewhere.
    ASSERT_TRUE(makeDirs(dir / "elsewhere"));
    ASSERT_TRUE(writeFile(dir / "elsewhere/real.vars", readFile(kept)));
    ASSERT_EQ(remove(kept.c_str()), 0);
    ASSERT_EQ(symlink((dir / "elsewhere/real.vars").c_str(), kept.c_str()), 0);
    captured([] { CvarSet("t_speed", "6"); });
    captured(CvarSaveAll);
    ASSERT_EQ(lstat(kept.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_NE(readFile(dir / "elsewhere/real.vars").find("t_speed 6.000000\n"), std::string::npos);
    EXPECT_TRUE(listDir(dir / "elsewhere") == std::vector<std::string>{"real.vars"}) << "no temporary file left";
}

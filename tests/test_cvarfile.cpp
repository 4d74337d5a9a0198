// Variable files: the line grammar, which file wins, and writing back.

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
        testing::internal::CaptureStdout();
        dataSetBasePath("assets/");
        testing::internal::GetCapturedStdout();
        cvarList = nullptr;
        for (Cvar *c : {&loose, &speed, &tint, &camera})
            CvarRegister(c);
        dataWriteBack = 0; // no exit handler from these tests
    }
    void file(const std::string &name, const std::string &text) { ASSERT_TRUE(writeFile(dir / ("assets/" + name), text)); }
    std::string loadAll()
    {
        testing::internal::CaptureStdout();
        CvarLoad();
        return testing::internal::GetCapturedStdout();
    }
    TempDir dir;
};

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

    EXPECT_FLOAT_EQ(speed.value, 2.5f);
    EXPECT_STREQ(speed.text, "2.5");
    EXPECT_FLOAT_EQ(tint.vec[0], 0.1f);
    EXPECT_FLOAT_EQ(tint.vec[3], 0.4f);
    EXPECT_FLOAT_EQ(tint.value, 9.0f); // two tokens set text and value, never vec
    EXPECT_FLOAT_EQ(camera.vec[2], 3.0f);
    EXPECT_FLOAT_EQ(camera.vec[3], 1.0f);
    EXPECT_EQ(camera.value, 0.0f);
    EXPECT_EQ(speed.source, &cvarFiles[cvarFileCount - 1]);

    const char *invalid[] = {"t_tint 0.5 0.5 0.5\n", "t_speed 1 2 3\n", "t_camera 1 2 3 4\n", "t_speed\n", "\n",
                             "t_nothing 1 2 3\n", "a b c d e f g\n"};
    for (const char *line : invalid) {
        std::string message = std::string("\"Invalid variable in file:") + line + ", source:a.vars\\n\"\n";
        EXPECT_NE(out.find(message), std::string::npos) << line << out;
    }
    EXPECT_NE(out.find("[Cvar]: Variable t_nothing not found\n"), std::string::npos);
    EXPECT_NE(out.find("[CvarLoad : "), std::string::npos);
    EXPECT_NE(out.find("]\"Loading variables for source file <a.vars>\\n\"\n"), std::string::npos) << out;
}

TEST_F(VariableFiles, TheLastFileReadWinsAndBecomesTheSource)
{
    file("first.vars", "t_speed 3\nt_tint 1 0 0 1\n");
    file("second.vars", "t_speed 4\n");
    CvarAddFile("first.vars");
    CvarAddFile("missing.vars");
    CvarAddFile("second.vars");
    std::string out = loadAll();
    EXPECT_FLOAT_EQ(speed.value, 4.0f);
    EXPECT_STREQ(cvarFiles[0], "first.vars");
    EXPECT_EQ(speed.source, &cvarFiles[2]);
    EXPECT_EQ(tint.source, &cvarFiles[0]);
    EXPECT_EQ(loose.source, nullptr);
    // A missing file is reported and announced all the same.
    EXPECT_NE(out.find("LoadFile: Failed to find a file: missing.vars"), std::string::npos);
    EXPECT_NE(out.find("Loading variables for source file <missing.vars>"), std::string::npos);
}

TEST_F(VariableFiles, WriteBackThenReadBackRestoresEveryValue)
{
    file("first.vars", "t_tint 0.25 0.5 0.75 0.125\n");
    file("second.vars", "t_speed 6\nt_camera 4 5 6\n");
    CvarAddFile("first.vars");
    CvarAddFile("second.vars");
    loadAll();
    speed.value = 8.5f; // as a track or the console would leave it
    CvarSaveAll();

    // Registry order (newest first); the first file also takes the unnamed.
    EXPECT_EQ(readFile(dir / "assets/second.vars"), "t_camera 4.000000 5.000000 6.000000\nt_speed 8.500000\n");
    EXPECT_EQ(readFile(dir / "assets/first.vars"),
              "t_tint 0.250000 0.500000 0.750000 0.125000\nt_loose 7.000000\n");

    speed.value = 0;
    camera.vec[0] = camera.vec[1] = camera.vec[2] = camera.vec[3] = 0;
    tint.vec[0] = 0;
    loadAll();
    EXPECT_FLOAT_EQ(speed.value, 8.5f);
    EXPECT_FLOAT_EQ(camera.vec[1], 5.0f);
    EXPECT_FLOAT_EQ(camera.vec[3], 1.0f);
    EXPECT_FLOAT_EQ(tint.vec[0], 0.25f);
}

TEST_F(VariableFiles, AFileThatCannotBeWrittenKeepsItsOldContent)
{
    file("first.vars", "t_speed 3\n");
    file("second.vars", "t_tint 1 1 1 1\n");
    CvarAddFile("first.vars");
    CvarAddFile("second.vars");
    loadAll();
    ASSERT_TRUE(makeDirs(dir / "assets/first.vars.part"));
    testing::internal::CaptureStdout();
    CvarSaveAll();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "failed to open file first.vars for cvar writing\n");
    EXPECT_EQ(readFile(dir / "assets/first.vars"), "t_speed 3\n");
    EXPECT_EQ(readFile(dir / "assets/second.vars"), "t_tint 1.000000 1.000000 1.000000 1.000000\n");
}

TEST_F(VariableFiles, LongLinesAreCutAndReadOnAsTheNextLine)
{
    // 256 bytes of blanks, then a line that continues past the cut.
    file("long.vars", std::string(256, ' ') + "t_speed 5\n");
    CvarAddFile("long.vars");
    std::string out = loadAll();
    EXPECT_FLOAT_EQ(speed.value, 5.0f);
    EXPECT_NE(out.find("Invalid variable in file:" + std::string(256, ' ') + ", source:long.vars"), std::string::npos);
}

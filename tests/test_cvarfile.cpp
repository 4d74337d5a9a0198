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
        ASSERT_TRUE(makeDirs(dir / "assets") && chdir(dir.path().c_str()) == 0);
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

    EXPECT_TRUE(speed.value == 2.5f && !strcmp(speed.text, "2.5") && speed.source == &cvarFiles[cvarFileCount - 1]);
    EXPECT_TRUE(tint.vec[0] == 0.1f && tint.vec[3] == 0.4f && tint.value == 9.0f); // two tokens set text and value, never vec
    EXPECT_TRUE(camera.vec[2] == 3.0f && camera.vec[3] == 1.0f && camera.value == 0.0f);

    const char *invalid[] = {"t_tint 0.5 0.5 0.5\n", "t_speed 1 2 3\n", "t_camera 1 2 3 4\n", "t_speed\n", "\n",
                             "t_nothing 1 2 3\n", "a b c d e f g\n"};
    for (const char *line : invalid) {
        std::string message = std::string("\"Invalid variable in file:") + line + ", source:a.vars\\n\"\n";
        EXPECT_NE(out.find(message), std::string::npos) << line << out;
    }
    EXPECT_TRUE(out.find("[Cvar]: Variable t_nothing not found\n") != std::string::npos && out.find("[CvarLoad : ") != std::string::npos &&
                out.find("]\"Loading variables for source file <a.vars>\\n\"\n") != std::string::npos) << out;
}

TEST_F(VariableFiles, TheLastFileReadWinsAndBecomesTheSource)
{
    files({{"first.vars", "t_speed 3\nt_tint 1 0 0 1\n"}, {"missing.vars", nullptr}, {"second.vars", "t_speed 4\n"}});
    std::string out = loadAll();
    EXPECT_TRUE(speed.value == 4.0f && !strcmp(cvarFiles[0], "first.vars") && speed.source == &cvarFiles[2] &&
                tint.source == &cvarFiles[0] && loose.source == nullptr);
    // A missing file is reported and announced all the same.
    EXPECT_TRUE(out.find("LoadFile: Failed to find a file: missing.vars") != std::string::npos &&
                out.find("Loading variables for source file <missing.vars>") != std::string::npos) << out;
}

TEST_F(VariableFiles, WriteBackThenReadBackRestoresEveryValue)
{
    files({{"first.vars", "t_tint 0.25 0.5 0.75 0.125\n"}, {"second.vars", "t_speed 6\nt_camera 4 5 6\n"}});
    loadAll();
    speed.value = 8.5f; // as a track or the console would leave it
    CvarSaveAll();

    // Registry order (newest first); the first file also takes the unnamed.
    EXPECT_EQ(readFile(dir / "assets/second.vars"), "t_camera 4.000000 5.000000 6.000000\nt_speed 8.500000\n");
    EXPECT_EQ(readFile(dir / "assets/first.vars"),
              "t_tint 0.250000 0.500000 0.750000 0.125000\nt_loose 7.000000\n");

    speed.value = tint.vec[0] = 0, std::fill_n(camera.vec, 4, 0.0f);
    loadAll();
    EXPECT_TRUE(speed.value == 8.5f && camera.vec[1] == 5.0f && camera.vec[3] == 1.0f && tint.vec[0] == 0.25f);
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
    EXPECT_TRUE(speed.value == 5.0f &&
                out.find("Invalid variable in file:" + std::string(256, ' ') + ", source:long.vars") != std::string::npos) << out;
}

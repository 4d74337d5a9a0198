// The console: commands, completion, scrollback, line limits, the key
// binding, and the overlay's bounds.

#include "cvar/console.h"
#include "cvar/cvar.h"
#include "testutil.h"

// Each test gets an empty registry and a zero-filled console of its own, and
// puts the previous registry back.
class ConsoleState : public testing::Test {
protected:
    void SetUp() override { saved = cvarList, reset(), consoleUse(&console); }
    void TearDown() override { consoleUse(nullptr), reset(), cvarList = saved; }
    void reset() // forgets every variable and clears the console
    {
        for (Cvar *cvar : owned)
            free((void *)cvar->text), delete cvar;
        owned.clear(), cvarList = nullptr, memset(&console, 0, sizeof console);
    }
    Cvar *addVar(const char *name, const char *text)
    {
        owned.push_back(new Cvar(cvarDefine(name, text, 0, 0)));
        CvarRegister(owned.back());
        return owned.back();
    }
    void type(const std::string &text)
    {
        for (char c : text)
            consoleKey((unsigned char)c);
    }
    std::string input() const { return console.lines[console.current]; }
    using Line = std::pair<std::string, int>; // an input line and the cursor in it
    Line inputAndCursor() const { return {input(), console.cursor}; }
    // Committed lines, oldest first.
    std::vector<std::string> committed() const { return {console.lines, console.lines + console.current}; }

    Console console;
    Cvar *saved = nullptr;
    std::vector<Cvar *> owned;
};

TEST_F(ConsoleState, CommandsListShowSetAndCompleteVariables)
{
    // The command, the committed lines afterwards, the text of variable b afterwards.
    const std::tuple<const char *, std::vector<std::string>, const char *> cases[] = {
        {"vars", {"vars", "c = 3", "b = 2", "a = 1"}, "2"}, // newest first
        {"b", {"b", "  b = 2 "}, "2"},
        {"b 7.5", {"b 7.5", "b = 7.5"}, "7.5"},
        {"  b   4  extra", {"  b   4  extra", "b = 4"}, "4"},
        {"zz", {"zz", "Variable zz not found"}, "2"},
        {"zz 1", {"zz 1", "Variable zz not found"}, "2"},
        {"VARS", {"VARS", "Variable VARS not found"}, "2"}, // vars is matched exactly
        {"vars x", {"vars x", "Variable vars not found"}, "2"},
        {"vars x", {"vars x", "vars = x"}, "2"}, // with a variable named vars, a value sets it
    };
    for (const auto &[command, lines, bText] : cases) {
        SCOPED_TRACE(lines.back());
        reset();
        addVar("a", "1");
        Cvar *b = addVar("b", "2");
        addVar("c", "3");
        Cvar *vars = lines.back() == "vars = x" ? addVar("vars", "0") : nullptr;
        consoleSetLine(command);
        EXPECT_EQ(captured([] { consoleExecute(); }), ""); // output goes to the scrollback only
        EXPECT_EQ(committed(), lines);
        EXPECT_EQ(inputAndCursor(), Line("", 0));
        EXPECT_STREQ(b->text, bText);
        EXPECT_EQ(b->value, (float)atof(bText));
        if (vars) {
            EXPECT_STREQ(vars->text, "x");
        }
    }
    // Empty and blank lines are not committed; the blank one stays as typed.
    reset();
    consoleExecute(), consoleSetLine(" \t "), consoleExecute();
    EXPECT_EQ(console.current, 0);
    EXPECT_EQ(inputAndCursor(), Line(" \t ", 3));
    consoleSetLine("vars"), consoleExecute(); // nothing registered: nothing listed
    EXPECT_EQ(committed(), std::vector<std::string>{"vars"});

    // Completion takes the newest matching variable.
    const std::string longName(300, 'n'), cutName(255, 'n');
    for (const char *name : {longName.c_str(), "post_glow", "post_glow_blur_h", "post_glow_threshold", "post_blur_h", "fx_idx"})
        addVar(name, "0");
    const std::pair<const char *, const char *> completions[] = {
        {"n", cutName.c_str()},                // cut to the line, no room for the space
        {"post_glow", "post_glow_threshold "}, // three match: the one registered last
        {"post_g", "post_glow_threshold "}, {"post_", "post_blur_h "},
        {"fx_idx", "fx_idx "},                 // a whole name still gets its space
        {"Post", "Post"},                      // case matters: no match, nothing changes
        {"post_glow_x", "post_glow_x"}, {"", ""},
    };
    for (auto [typed, expected] : completions) {
        consoleSetLine(typed);
        consoleComplete();
        EXPECT_EQ(inputAndCursor(), Line(expected, strlen(expected))) << typed;
    }
}

TEST_F(ConsoleState, ScrollbackMovesUpOnceLine49IsCommittedAndLinesAreCutAt255)
{
    for (int i = 0; i < 49; i++)
        consolePrint("line %d", i);
    EXPECT_EQ(console.current, 49);
    EXPECT_STREQ(console.lines[48], "line 48");
    consoleSetLine("abc");
    consolePrint("line %d", 49); // appended to the typed text, as any print is
    EXPECT_EQ(std::string(console.lines[0]) + "|" + console.lines[48] + "|" + input(), "line 1|abcline 49|");
    EXPECT_EQ(std::make_pair(console.current, console.cursor), std::make_pair(49, 0));
    consoleNewLine();
    EXPECT_EQ(std::string(console.lines[0]) + "|" + console.lines[48], "line 2|");

    // Each way to write 400 characters, after what was already typed; the committed lines and the cursor afterwards.
    static const std::string longText(400, 'x');
    const std::tuple<const char *, void (*)(void), const char *, std::pair<int, int>> cases[] = {
        {"put", [] { for (char c : longText) consolePutChar(c); }, "", {0, 255}},
        {"set", [] { consoleSetLine(longText.c_str()); }, "", {0, 255}},
        {"printed", [] { consolePrint("%s", longText.c_str()); }, "", {1, 0}},
        {"printed after ab", [] { consolePrint("%s", longText.c_str()); }, "ab", {1, 0}},
    };
    for (auto [way, fill, typedFirst, currentAndCursor] : cases) {
        reset(), consoleSetLine(typedFirst), fill();
        EXPECT_EQ(console.lines[0], typedFirst + std::string(255 - strlen(typedFirst), 'x')) << way;
        EXPECT_EQ(std::make_pair(console.current, console.cursor), currentAndCursor) << way;
    }
    // A command of one word that fills the line: its answer is cut too.
    const std::string word(255, 'w');
    reset(), consoleSetLine(word.c_str()), consoleExecute();
    EXPECT_EQ(committed(), (std::vector<std::string>{word, ("Variable " + word).substr(0, 255)}));
}

TEST_F(ConsoleState, KeysToggleTypeNameCharactersEditAndRun)
{
    // Hidden, every key but the backquote is ignored.
    Cvar *zoom = addVar("intro_zoom", "128");
    consoleSetLine("intro_zoom 3");
    Console before = console;
    for (int key = -1; key < 300; key++)
        consoleKey(key == '`' ? 0 : key);
    EXPECT_EQ(memcmp(&before, &console, sizeof console), 0);
    consoleKey('`');
    EXPECT_TRUE(console.visible);
    consoleKey('`');
    EXPECT_FALSE(console.visible);
    // Visible, only the characters of names and values are typed.
    consoleKey('`'), consoleSetLine("");
    type("azAZ09 _/.-");
    for (int key : std::initializer_list<int>{'%', '&', '(', '\'', '!', '~', '+', '=', 10, 27, 127, 0, -1, 'a' + 256})
        consoleKey(key);
    EXPECT_EQ(input(), "azAZ09 _/.-");
    // Backspace (nothing to remove on an empty line), tab, enter.
    consoleSetLine(""), consoleKey(8);
    EXPECT_EQ(console.cursor, 0);
    type("intro_zx\b\t64\r");
    EXPECT_STREQ(zoom->text, "64");
    EXPECT_EQ(committed(), (std::vector<std::string>{"intro_zoom 64", "intro_zoom = 64"}));
}

// Draws into a picture with guard words on both sides and checks that only
// rows 0..band-1 change, all of them, and nothing outside the picture.
static int drawChecked(int width, int height, int lineCount)
{
    const size_t pixels = (size_t)width * height, guard = 64;
    auto pattern = [](size_t i) { return 0x00A05010u + (uint32_t)(i % 7); }; // no colour the overlay draws with
    std::vector<uint32_t> block(pixels + 2 * guard, 0xDEADBEEFu);
    for (size_t i = 0; i < pixels; i++)
        block[guard + i] = pattern(i);
    int band = consoleDraw(block.data() + guard, width, height, lineCount);
    EXPECT_GE(band, 0);
    EXPECT_LE(band, height);
    size_t wrong = 0; // changed outside the band or unchanged inside it
    for (size_t i = 0; i < pixels; i++)
        wrong += (i < (size_t)band * width) != (block[guard + i] != pattern(i));
    EXPECT_EQ(wrong, 0u) << "pixels changed outside the band or left inside it";
    EXPECT_EQ(std::count(block.begin(), block.end(), 0xDEADBEEFu), (long)(2 * guard)) << "guard words";
    return band;
}

TEST_F(ConsoleState, OverlayBandFollowsTheLineCountAndMatchesThePicture)
{
    for (int i = 0; i < 60; i++)
        consolePrint("line %d with a byte \x7f outside the font", i);
    type(std::string(255, 'k')); // hidden: ignored
    EXPECT_EQ(drawChecked(320, 180, 15), 0);
    consoleKey('`');
    type(std::string(300, 'k')); // longer than a row holds: the end is shown
    const std::pair<int, int> sizes[] = {{320, 180}, {320, 1000}, {1, 1},   {7, 11},   {15, 12},  {16, 12},
                                         {320, 11},  {320, 12},   {11, 180}, {14, 180}, {2000, 3}};
    for (auto [width, height] : sizes) {
        for (int count : {INT_MIN, -1, 0, 1, 15, 22, 49, 50, 1000, INT_MAX}) {
            SCOPED_TRACE(testing::Message() << width << "x" << height << " lines " << count);
            drawChecked(width, height, count);
        }
    }
    EXPECT_EQ(consoleDraw(nullptr, 320, 180, 15), 0);
    // At least one line; more lines, a taller band, up to as many rows as fit
    // and never more than the scrollback.
    const int one = drawChecked(320, 180, 0), most = drawChecked(320, 4000, 49);
    EXPECT_GT(one, 0);
    EXPECT_EQ(drawChecked(320, 180, -7), one);
    EXPECT_GT(drawChecked(320, 180, 15), drawChecked(320, 180, 14));
    EXPECT_EQ(drawChecked(320, 180, 1000), drawChecked(320, 180, 100));
    EXPECT_EQ(drawChecked(320, 4000, 1000), most);
    EXPECT_GT(most, drawChecked(320, 4000, 48));

    // The picture below was looked at when this hash was taken; change the
    // hash only together with a deliberate change of the font or the layout.
    reset(), addVar("post_glow", "0"), addVar("post_glow_threshold", "0 0 0 0"), consoleKey('`');
    type("vars\r"), consolePrint("Az09 _/.- box:\x01"), type("post_gl\t");
    std::vector<uint32_t> picture(320 * 180, 0x00808080);
    ASSERT_EQ(consoleDraw(picture.data(), 320, 180, 4), 49);
    uint64_t hash = 14695981039346656037ull; // FNV-1a over the pixel words
    for (uint32_t pixel : picture)
        hash = (hash ^ pixel) * 1099511628211ull;
    EXPECT_EQ(hash, 2006916880249521342ull);
}

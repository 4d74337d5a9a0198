// The edit mode's console: live values and their tracks, whole colours and
// vectors, the answer for a variable that tracks drive, filtered listings,
// history, the scrolled overlay and Tab through several names.

#include "cvar/console.h"
#include "cvar/cvar.h"
#include "testutil.h"

// Keys without characters, as the edit mode hands them on.
enum : char { UP = 1, DOWN = 2, PAGE_UP = 3, PAGE_DOWN = 4 };

// Each test gets an empty registry with a few variables shaped like the
// show's, a zero-filled console of its own in the edit mode, shown, and puts
// the previous registry back.
class EditConsole : public testing::Test {
protected:
    void SetUp() override
    {
        saved = cvarList, cvarList = nullptr;
        memset(&console, 0, sizeof console);
        consoleUse(&console);
        consoleSetEditMode(1, hold);
        consoleKey('`');
        holding = 0, held.clear();
        zoom = addVar(cvarDefine("intro_zoom", "1", 32, 512), 1);
        zoom->value = 1.25f; // what the track gave at the last frame
        diffuse = addVar(cvarDefine("intro_diffuse", "0 0 0 0", 0, 0, CVAR_COLOR, 0.9f, 0.95f, 1, 0.75f), 0);
        glow = addVar(cvarDefine("post_glow_color", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1), 3);
        camera = addVar(cvarDefine("engtest_camera", "0 0 0", 0, 0, CVAR_VEC3, 0, 0, -1000, 0), 0);
        addVar(cvarDefine("fx_time", "12", 0, 0), 0);
    }
    void TearDown() override
    {
        consoleSetEditMode(0, nullptr);
        consoleUse(nullptr);
        for (Cvar *cvar : owned)
            free((void *)cvar->text), delete cvar;
        owned.clear(), cvarList = saved;
    }
    // Registers a copy of the record, bound to `tracks` tracks (named as the
    // binding names them) when that is not 0.
    Cvar *addVar(const Cvar &record, int tracks)
    {
        static const char *const suffix[3] = {"_r", "_g", "_b"};
        owned.push_back(new Cvar(record));
        Cvar *cvar = owned.back();
        for (int i = 0; i < tracks; i++) {
            cvar->tracks[i] = &track;
            snprintf(cvar->trackNames[i], CVAR_TRACK_NAME, "%s%s", cvar->name, tracks == 1 ? "" : suffix[i]);
        }
        CvarRegister(cvar);
        return cvar;
    }
    static int hold(Cvar *cvar)
    {
        held.push_back(cvar->name);
        return holding;
    }
    void press(const std::string &keys)
    {
        for (char c : keys) {
            switch (c) {
            case UP: consoleHistory(-1); break;
            case DOWN: consoleHistory(1); break;
            case PAGE_UP: consoleScrollPages(1); break;
            case PAGE_DOWN: consoleScrollPages(-1); break;
            default: consoleKey((unsigned char)c); break;
            }
        }
    }
    // The scrollback's lines from the n-th on.
    std::vector<std::string> linesFrom(int n) const
    {
        std::vector<std::string> lines;
        for (int i = n; i < consoleEditLineCount(); i++)
            lines.push_back(consoleEditLine(i));
        return lines;
    }
    std::string input() const { return console.lines[console.current]; }
    static std::string number(float f)
    {
        char text[32];
        snprintf(text, sizeof text, "%g", f);
        return text;
    }
    static std::string components(const Cvar *cvar)
    {
        std::string all;
        for (float f : cvar->vec)
            all += (all.empty() ? "" : " ") + number(f);
        return all;
    }

    Console console;
    Cvar *saved = nullptr;
    std::vector<Cvar *> owned;
    SyncTrack track{};
    Cvar *zoom, *diffuse, *glow, *camera;
    static inline int holding;
    static inline std::vector<std::string> held;
};

TEST_F(EditConsole, CommandsShowLiveValuesSetWholeColoursAndVectorsAndRefuseBadInput)
{
    const std::string heldLine = "  held while paused; the track intro_zoom takes over again on play, seek or step";
    const std::string overLine = "  the track intro_zoom overrides it from the next frame; pause to hold a value";
    const std::string glowTracks = "the tracks post_glow_color_r, _g, _b";
    struct Case {
        const char *keys;
        int holding;                    // the edit mode's answer: paused
        std::vector<std::string> lines; // printed, the command first
        const char *probe;              // a variable afterwards: "text|vec" (its value for a float)
        std::string expected;
        bool changed;                   // an assignment was made
    };
    const char *const zoomShown = "intro_zoom = 1.25 (text \"1\"), driven by the track intro_zoom";
    const Case cases[] = {
        // Shown: the live value beside the text when that reads otherwise, and the tracks.
        {"intro_zoom\r", 0, {"intro_zoom", zoomShown}, "intro_zoom", "1|1.25", false},
        {"intro_diffuse\r", 0, {"intro_diffuse", "intro_diffuse = 0.9 0.95 1 0.75 (text \"0 0 0 0\")"},
         "intro_diffuse", "0 0 0 0|0.9 0.95 1 0.75", false},
        {"engtest_camera\r", 0, {"engtest_camera", "engtest_camera = 0 0 -1000 (text \"0 0 0\")"},
         "engtest_camera", "0 0 0|0 0 -1000 0", false},
        {"post_glow_color\r", 0, {"post_glow_color", "post_glow_color = 1 1 1 1 (text \"0 0 0 0\"), driven by " + glowTracks},
         "post_glow_color", "0 0 0 0|1 1 1 1", false},
        {"fx_time\r", 0, {"fx_time", "fx_time = 12"}, "fx_time", "12|12", false},
        {"zz\r", 0, {"zz", "Variable zz not found"}, "intro_zoom", "1|1.25", false},
        // Set: a tracked float, held while paused or taken back at the next frame.
        {"intro_zoom 3\r", 1, {"intro_zoom 3", "intro_zoom = 3", heldLine}, "intro_zoom", "3|3", true},
        {"intro_zoom 3\r", 0, {"intro_zoom 3", "intro_zoom = 3", overLine}, "intro_zoom", "3|3", true},
        {"post_glow_color 1 0 0\r", 1,
         {"post_glow_color 1 0 0", "post_glow_color = 1 0 0 1",
          "  held while paused; " + glowTracks + " take over again on play, seek or step"},
         "post_glow_color", "1 0 0 1|1 0 0 1", true},
        // Colours take four numbers, or three and keep their alpha; vectors three, and w becomes 1.
        {"intro_diffuse 1 0.5 0.5 0.25\r", 1, {"intro_diffuse 1 0.5 0.5 0.25", "intro_diffuse = 1 0.5 0.5 0.25"},
         "intro_diffuse", "1 0.5 0.5 0.25|1 0.5 0.5 0.25", true},
        {"intro_diffuse  -1 0.5 2e-1\r", 0, {"intro_diffuse  -1 0.5 2e-1", "intro_diffuse = -1 0.5 0.2 0.75"},
         "intro_diffuse", "-1 0.5 0.2 0.75|-1 0.5 0.2 0.75", true},
        {"engtest_camera 1 2 3\r", 0, {"engtest_camera 1 2 3", "engtest_camera = 1 2 3"}, "engtest_camera",
         "1 2 3|1 2 3 1", true},
        // Wrong counts and words that are not whole finite numbers change nothing.
        {"intro_diffuse 1 2\r", 0,
         {"intro_diffuse 1 2", "intro_diffuse is a colour: give r g b (alpha kept) or r g b a; nothing changed"},
         "intro_diffuse", "0 0 0 0|0.9 0.95 1 0.75", false},
        {"intro_diffuse 1 2 3 4 5\r", 0,
         {"intro_diffuse 1 2 3 4 5", "intro_diffuse is a colour: give r g b (alpha kept) or r g b a; nothing changed"},
         "intro_diffuse", "0 0 0 0|0.9 0.95 1 0.75", false},
        {"engtest_camera 1 2 3 4 5 6 7\r", 0,
         {"engtest_camera 1 2 3 4 5 6 7", "engtest_camera is a vector: give x y z; nothing changed"},
         "engtest_camera", "0 0 0|0 0 -1000 0", false},
        {"engtest_camera 1 2\r", 0, {"engtest_camera 1 2", "engtest_camera is a vector: give x y z; nothing changed"},
         "engtest_camera", "0 0 0|0 0 -1000 0", false},
        {"intro_zoom 1 2\r", 1, {"intro_zoom 1 2", "intro_zoom takes one number; nothing changed"},
         "intro_zoom", "1|1.25", false},
        {"intro_diffuse 1 x 0.5\r", 0, {"intro_diffuse 1 x 0.5", "x is not a number; intro_diffuse unchanged"},
         "intro_diffuse", "0 0 0 0|0.9 0.95 1 0.75", false},
        {"intro_zoom 0x\r", 1, {"intro_zoom 0x", "0x is not a number; intro_zoom unchanged"}, "intro_zoom",
         "1|1.25", false},
        {"intro_zoom 1e99\r", 1, {"intro_zoom 1e99", "1e99 is not a number; intro_zoom unchanged"},
         "intro_zoom", "1|1.25", false},
        {"engtest_camera 1 . 3\r", 0, {"engtest_camera 1 . 3", ". is not a number; engtest_camera unchanged"},
         "engtest_camera", "0 0 0|0 0 -1000 0", false},
        // Listings: in name order, live values, driven ones marked, counted.
        {"vars intro\r", 0, {"vars intro", "intro_diffuse = 0.9 0.95 1 0.75", "intro_zoom = 1.25 (track)", "2 variables begin with intro"},
         "intro_zoom", "1|1.25", false},
        {"vars intro_z\r", 0, {"vars intro_z", "intro_zoom = 1.25 (track)", "1 variable begins with intro_z"},
         "intro_zoom", "1|1.25", false},
        {"vars nothing\r", 0, {"vars nothing", "No variable begins with nothing"}, "intro_zoom", "1|1.25", false},
        {"vars\r", 0,
         {"vars", "engtest_camera = 0 0 -1000", "fx_time = 12", "intro_diffuse = 0.9 0.95 1 0.75",
          "intro_zoom = 1.25 (track)", "post_glow_color = 1 1 1 1 (track)", "5 variables"},
         "intro_zoom", "1|1.25", false},
        {"vars a b\r", 0, {"vars a b", "Variable vars not found"}, "intro_zoom", "1|1.25", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        TearDown(), SetUp();
        holding = c.holding;
        const uint32_t assignments = cvarAssignments;
        EXPECT_EQ(captured([&] { press(c.keys); }), ""); // to the scrollback only
        EXPECT_EQ(linesFrom(0), c.lines);
        EXPECT_EQ(input(), "");
        const Cvar *probe = CvarFind(c.probe);
        ASSERT_NE(probe, nullptr);
        const std::string live = probe->kind == CVAR_FLOAT ? number(probe->value) : components(probe);
        EXPECT_EQ(probe->text + std::string("|") + live, c.expected);
        EXPECT_EQ(cvarAssignments != assignments, c.changed);
        // Only a set of a driven variable asks whether it holds.
        const bool asked = c.changed && probe->tracks[0];
        EXPECT_EQ(held, asked ? std::vector<std::string>{c.probe} : std::vector<std::string>{});
    }
}

TEST_F(EditConsole, UpAndDownWalkTheExecutedLinesAndComeBackToTheTypedOne)
{
    press("intro_zoom 2\rfx_time\rfx_time\rintro_zoom 4\r   \r");
    const std::string blanks = input(); // a blank line is not run, and stays
    EXPECT_EQ(blanks, "   ");
    press("\b\b\bintro_d");
    // The keys, then the input line and the cursor.
    const std::pair<const char *, const char *> steps[] = {
        {"", "intro_d"},
        {"\x01", "intro_zoom 4"},
        {"\x01", "fx_time"}, // run twice in a row, kept once
        {"\x01", "intro_zoom 2"},
        {"\x01", "intro_zoom 2"}, // the oldest: Up stays
        {"\x02", "fx_time"},
        {"\x02\x02", "intro_d"}, // past the newest, the line being typed
        {"\x02", "intro_d"},
        {"\x01\x01 5", "fx_time 5"}, // a recalled line is edited like any other
    };
    for (auto [keys, expected] : steps) {
        press(keys);
        EXPECT_EQ(input(), expected) << "after " << testing::PrintToString(std::string(keys));
        EXPECT_EQ(console.cursor, (int)strlen(expected));
    }
    press("\b3\r");
    EXPECT_STREQ(zoom->text, "4"); // fx_time 3 ran, intro_zoom untouched
    EXPECT_STREQ(CvarFind("fx_time")->text, "3");
    press("\x01");
    EXPECT_EQ(input(), "fx_time 3");

    // Sixty-four lines are kept, the oldest go first.
    for (int i = 0; i < 70; i++)
        press("fx_time " + std::to_string(i) + "\r");
    for (int i = 0; i < 100; i++)
        press("\x01");
    EXPECT_EQ(input(), "fx_time 6");
}

TEST_F(EditConsole, PageKeysScrollALongerScrollbackAndNewOutputComesBackDown)
{
    for (int i = 0; i < 600; i++)
        consolePrint("line %d", i);
    // The plain scrollback keeps its fifty lines; the edit mode's keeps more.
    EXPECT_EQ(console.current, 49);
    EXPECT_STREQ(console.lines[48], "line 599");
    ASSERT_EQ(consoleEditLineCount(), CONSOLE_EDIT_LINES);
    EXPECT_STREQ(consoleEditLine(0), "line 88");
    EXPECT_STREQ(consoleEditLine(CONSOLE_EDIT_LINES - 1), "line 599");
    EXPECT_STREQ(consoleEditLine(CONSOLE_EDIT_LINES), "");

    // Fifteen rows shown: a page moves thirteen lines (one stays in sight,
    // the marker takes a row), no further back than the oldest line at the top.
    const std::pair<const char *, int> steps[] = {
        {"\x04", 0}, {"\x03", 13}, {"\x03\x03", 39}, {"\x04", 26},
        {"\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03"
         "\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03",
         CONSOLE_EDIT_LINES - 14},
    };
    for (auto [keys, offset] : steps) {
        press(keys);
        EXPECT_EQ(consoleScrollOffset(), offset);
    }
    // Scrolled back, the lowest row is a marker; any new line brings the view back.
    std::vector<uint32_t> picture(320 * 180);
    auto markerRows = [&] {
        std::fill(picture.begin(), picture.end(), 0);
        int band = consoleDraw(picture.data(), 320, 180, 15);
        std::set<int> rows;
        for (int i = 0; i < band * 320; i++) {
            if (picture[i] == 0xFFC040)
                rows.insert(i / 320);
        }
        return rows;
    };
    EXPECT_EQ(*markerRows().begin(), 2 + 14 * 9) << "the marker lies just above the input line";
    EXPECT_EQ(consoleScrollOffset(), CONSOLE_EDIT_LINES - 14);
    press("fx_time\r");
    EXPECT_EQ(consoleScrollOffset(), 0);
    EXPECT_GE(*markerRows().begin(), 2 + 15 * 9) << "only the prompt and the cursor";
    // A smaller view pages by less.
    consoleDraw(picture.data(), 320, 180, 5);
    press("\x03");
    EXPECT_EQ(consoleScrollOffset(), 3);

    // Lines longer than the width wrap onto the rows below them, after the
    // last blank that fits, or inside a long word.
    memset(&console, 0, sizeof console);
    consoleKey('`');
    consoleSetEditMode(1, hold);
    consolePrint("%s", std::string(120, 'w').c_str()); // 52, 52 and 16 columns
    std::string words;
    for (int i = 0; i < 12; i++)
        words += i ? " abcde" : "abcde"; // 48 columns (eight words and a blank), then the rest
    consolePrint("%s", words.c_str());
    std::fill(picture.begin(), picture.end(), 0);
    ASSERT_GT(consoleDraw(picture.data(), 320, 180, 15), 0);
    // Text pixels in each committed row, and in its columns 48 to 51.
    std::vector<int> rowsWithText, rowsWithTextAtTheEnd;
    for (int row = 0; row < 15; row++) {
        bool any = false, atEnd = false;
        for (int y = 2 + row * 9; y < 2 + row * 9 + 9; y++) {
            for (int x = 0; x < 320; x++) {
                bool text = picture[y * 320 + x] == 0xC8C8C8u;
                any |= text;
                atEnd |= text && x >= 2 + 48 * 6 && x < 2 + 52 * 6;
            }
        }
        if (any)
            rowsWithText.push_back(row);
        if (atEnd)
            rowsWithTextAtTheEnd.push_back(row);
    }
    EXPECT_EQ(rowsWithText, (std::vector<int>{10, 11, 12, 13, 14}));
    EXPECT_EQ(rowsWithTextAtTheEnd, (std::vector<int>{10, 11}));
}

TEST_F(EditConsole, TabCompletesListsAndCyclesThroughSeveralNames)
{
    for (const char *name : {"post_glow", "post_glow_blur_h", "post_glow_threshold", "post_glow_blur_v", "post_blur_h"})
        addVar(cvarDefine(name, "0", 0, 0), 0);
    // The keys, the input line afterwards, the lines printed meanwhile.
    struct Step { const char *keys; const char *input; std::vector<std::string> printed; };
    const Step steps[] = {
        {"post_glow_b\t", "post_glow_blur_", {"post_glow_blur_h  post_glow_blur_v"}}, // in columns
        {"\t", "post_glow_blur_h ", {}},
        {"\t", "post_glow_blur_v ", {}},
        {"\t", "post_glow_blur_h ", {}}, // round again
        {"\b\b\t", "post_glow_blur_", {"post_glow_blur_h  post_glow_blur_v"}}, // changed by hand: a new completion
        {"\b\b\b\b\b\b\t", "post_glow",
         {"post_glow            post_glow_blur_h", "post_glow_blur_v     post_glow_color", "post_glow_threshold"}},
        {"\t", "post_glow ", {}},
        {"\b_t\t", "post_glow_threshold ", {}}, // one match: completed, nothing listed
        {"\t", "post_glow_threshold ", {}},     // past the name: nothing
        {"5\r", "", {"post_glow_threshold 5", "post_glow_threshold = 5"}},
        {"fx\t", "fx_time ", {}},
        {"\b\b\b\b\b\b\b\bzz\t", "zz", {"No variable begins with zz"}}, // said above the line, which stays
        {"\b\b\t", "", {}},
        {"p\t", "post_", {"post_blur_h          post_glow", "post_glow_blur_h     post_glow_blur_v",
                          "post_glow_color      post_glow_threshold"}},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.keys);
        const int before = consoleEditLineCount();
        press(step.keys);
        EXPECT_EQ(input(), step.input);
        EXPECT_EQ(console.cursor, (int)strlen(step.input));
        EXPECT_EQ(linesFrom(before), step.printed);
    }
    // Listings keep to the overlay's width.
    for (int i = 0; i < consoleEditLineCount(); i++)
        EXPECT_LE(strlen(consoleEditLine(i)), 52u) << consoleEditLine(i);
}

TEST_F(EditConsole, SwitchedOffTheConsoleIsThePlainOneAgain)
{
    press("intro_zoom 3\r");
    consoleSetEditMode(0, nullptr);
    held.clear();
    EXPECT_EQ(consoleEditLineCount(), 0);
    // The edit mode's keys do nothing; commands answer as the plain console does.
    Console before = console;
    press("\x01\x02\x03\x04");
    EXPECT_EQ(memcmp(&before, &console, sizeof console), 0);
    const int from = console.current;
    press("intro_zoom\rintro_diffuse 1 0.5\rintro_zoom 2 3\rvars intro\rpost_\t");
    EXPECT_EQ(std::vector<std::string>(console.lines + from, console.lines + console.current),
              (std::vector<std::string>{"intro_zoom", "  intro_zoom = 3 ", "intro_diffuse 1 0.5",
                                        "intro_diffuse = 1", "intro_zoom 2 3", "intro_zoom = 2", "vars intro",
                                        "Variable vars not found"}));
    EXPECT_EQ(input(), "post_glow_color ");
    EXPECT_EQ(components(diffuse), "0.9 0.95 1 0.75"); // only the first number, into the text
    EXPECT_TRUE(held.empty());
    // Switched on again, it starts from the committed lines.
    consoleSetEditMode(1, hold);
    EXPECT_EQ(consoleEditLineCount(), console.current);
    EXPECT_STREQ(consoleEditLine(console.current - 1), "Variable vars not found");
}

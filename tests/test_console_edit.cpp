// The edit mode's console: live values and their tracks, whole colours and
// vectors, the answer for a variable that tracks drive, filtered listings,
// history, the scrolled overlay and Tab through several names.

#include "cvar/console.h"
#include "cvar/cvar.h"
#include "testutil.h"

// Each test gets an empty registry with variables shaped like the show's and
// a console of its own in the edit mode, shown; the registry is put back.
class EditConsole : public testing::Test {
protected:
    void SetUp() override
    {
        saved = cvarList, cvarList = nullptr, holding = 0, held.clear();
        memset(&console, 0, sizeof console);
        consoleUse(&console), consoleSetEditMode(1, hold), consoleKey('`');
        zoom = addVar(cvarDefine("intro_zoom", "1", 32, 512), 1);
        zoom->value = 1.25f; // what the track gave at the last frame
        diffuse = addVar(cvarDefine("intro_diffuse", "0 0 0 0", 0, 0, CVAR_COLOR, 0.9f, 0.95f, 1, 0.75f), 0);
        addVar(cvarDefine("post_glow_color", "0 0 0 0", 0, 0, CVAR_COLOR, 1, 1, 1, 1), 3);
        addVar(cvarDefine("engtest_camera", "0 0 0", 0, 0, CVAR_VEC3, 0, 0, -1000, 0), 0);
        addVar(cvarDefine("fx_time", "12", 0, 0), 0);
    }
    void TearDown() override
    {
        consoleSetEditMode(0, nullptr), consoleUse(nullptr);
        for (Cvar *cvar : owned)
            free((void *)cvar->text), delete cvar;
        owned.clear(), cvarList = saved;
    }
    // A copy of the record, registered, bound to `tracks` tracks named as the binding names them.
    Cvar *addVar(const Cvar &record, int tracks)
    {
        static const char *const suffix[3] = {"_r", "_g", "_b"};
        Cvar *cvar = owned.emplace_back(new Cvar(record));
        for (int i = 0; i < tracks; i++) {
            cvar->tracks[i] = &track;
            snprintf(cvar->trackNames[i], CVAR_TRACK_NAME, "%s%s", cvar->name, tracks == 1 ? "" : suffix[i]);
        }
        CvarRegister(cvar);
        return cvar;
    }
    static int hold(Cvar *cvar) { return held.push_back(cvar->name), holding; }
    // Characters as typed; \x01 to \x04 are Up, Down, Page Up and Page Down.
    void press(const std::string &keys)
    {
        for (char c : keys) {
            if (c >= 1 && c <= 4)
                c <= 2 ? consoleHistory(c == 1 ? -1 : 1) : consoleScrollPages(c == 3 ? 1 : -1);
            else
                consoleKey((unsigned char)c);
        }
    }
    std::vector<std::string> linesFrom(int n) const
    {
        std::vector<std::string> lines;
        for (int i = n; i < consoleEditLineCount(); i++)
            lines.push_back(consoleEditLine(i));
        return lines;
    }
    std::string input() const { return console.lines[console.current]; }
    // What the probed variable holds: "text|value" or "text|vec[0] .. vec[3]".
    static std::string holds(const Cvar *cvar)
    {
        char text[128];
        if (cvar->kind == CVAR_FLOAT)
            snprintf(text, sizeof text, "%s|%g", cvar->text, cvar->value);
        else
            snprintf(text, sizeof text, "%s|%g %g %g %g", cvar->text, cvar->vec[0], cvar->vec[1], cvar->vec[2], cvar->vec[3]);
        return text;
    }

    Console console;
    Cvar *saved = nullptr, *zoom = nullptr, *diffuse = nullptr;
    std::vector<Cvar *> owned;
    SyncTrack track{};
    static inline int holding;
    static inline std::vector<std::string> held;
};

TEST_F(EditConsole, CommandsShowLiveValuesSetWholeColoursAndVectorsAndRefuseBadInput)
{
    const std::string glowTracks = "the tracks post_glow_color_r, _g, _b", colourCount =
        " is a colour: give r g b (alpha kept) or r g b a; nothing changed";
    struct Case {
        std::string keys;
        int holding;                        // the edit mode's answer: paused
        std::vector<std::string> printed;   // after the command's own line
        const char *probe, *probeHolds;     // a variable afterwards
    };
    const Case cases[] = {
        {"intro_zoom", 0, {"intro_zoom = 1.25 (text \"1\"), driven by the track intro_zoom"}, "intro_zoom", "1|1.25"},
        {"fx_time", 0, {"fx_time = 12"}, "fx_time", "12|12"}, // the text only when it reads otherwise
        {"post_glow_color", 0, {"post_glow_color = 1 1 1 1 (text \"0 0 0 0\"), driven by " + glowTracks},
         "post_glow_color", "0 0 0 0|1 1 1 1"},
        {"intro_zoom 3", 1, {"intro_zoom = 3", "  held while paused; the track intro_zoom takes over again on play, seek or step"},
         "intro_zoom", "3|3"},
        {"intro_zoom 3", 0, {"intro_zoom = 3", "  the track intro_zoom overrides it from the next frame; pause to hold a value"},
         "intro_zoom", "3|3"},
        {"post_glow_color 1 0 0", 1, {"post_glow_color = 1 0 0 1", "  held while paused; " + glowTracks +
         " take over again on play, seek or step"}, "post_glow_color", "1 0 0 1|1 0 0 1"},
        {"intro_diffuse 1 0.5 0.5 0.25", 0, {"intro_diffuse = 1 0.5 0.5 0.25"}, "intro_diffuse", "1 0.5 0.5 0.25|1 0.5 0.5 0.25"},
        {"intro_diffuse  -1 0.5 2e-1", 0, {"intro_diffuse = -1 0.5 0.2 0.75"}, "intro_diffuse", "-1 0.5 0.2 0.75|-1 0.5 0.2 0.75"},
        {"engtest_camera 1 2 3", 0, {"engtest_camera = 1 2 3"}, "engtest_camera", "1 2 3|1 2 3 1"},
        // Refused: nothing changes.
        {"intro_diffuse 1 2", 0, {"intro_diffuse" + colourCount}, "intro_diffuse", "0 0 0 0|0.9 0.95 1 0.75"},
        {"engtest_camera 1 2 3 4 5 6 7", 0, {"engtest_camera is a vector: give x y z; nothing changed"}, "engtest_camera",
         "0 0 0|0 0 -1000 0"},
        {"intro_zoom 1 2", 1, {"intro_zoom takes one number; nothing changed"}, "intro_zoom", "1|1.25"},
        {"intro_diffuse 1 x 0.5", 0, {"x is not a number; intro_diffuse unchanged"}, "intro_diffuse", "0 0 0 0|0.9 0.95 1 0.75"},
        {"intro_zoom 1e99", 1, {"1e99 is not a number; intro_zoom unchanged"}, "intro_zoom", "1|1.25"}, // not a float
        // Listings: name order, live values, the driven ones marked, counted.
        {"vars intro", 0, {"intro_diffuse = 0.9 0.95 1 0.75", "intro_zoom = 1.25 (track)", "2 variables begin with intro"},
         "intro_zoom", "1|1.25"},
        {"vars", 0, {"engtest_camera = 0 0 -1000", "fx_time = 12", "intro_diffuse = 0.9 0.95 1 0.75",
         "intro_zoom = 1.25 (track)", "post_glow_color = 1 1 1 1 (track)", "5 variables"}, "intro_zoom", "1|1.25"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        TearDown(), SetUp();
        holding = c.holding;
        const uint32_t assignments = cvarAssignments;
        const std::string before = holds(CvarFind(c.probe));
        EXPECT_EQ(captured([&] { press(c.keys + "\r"); }), ""); // to the scrollback only
        std::vector<std::string> printed = {c.keys};
        printed.insert(printed.end(), c.printed.begin(), c.printed.end());
        EXPECT_EQ(linesFrom(0), printed);
        EXPECT_EQ(holds(CvarFind(c.probe)), c.probeHolds);
        const bool changed = before != c.probeHolds;
        EXPECT_EQ(cvarAssignments != assignments, changed);
        // Only a set of a driven variable asks whether it holds.
        EXPECT_EQ(held.size(), changed && CvarFind(c.probe)->tracks[0] ? 1u : 0u);
    }
}

TEST_F(EditConsole, UpAndDownWalkTheExecutedLinesAndComeBackToTheTypedOne)
{
    press("intro_zoom 2\rfx_time\rfx_time\rintro_zoom 4\r   \r\b\b\bintro_d");
    // Keys, then the input line: a line run twice in a row is kept once, a
    // blank one not at all; past the newest comes the line being typed.
    const std::pair<const char *, const char *> steps[] = {
        {"\x01", "intro_zoom 4"}, {"\x01", "fx_time"}, {"\x01\x01", "intro_zoom 2"}, {"\x02", "fx_time"},
        {"\x02\x02\x02", "intro_d"}, {"\x01\x01 3", "fx_time 3"},
    };
    for (auto [keys, expected] : steps) {
        press(keys);
        EXPECT_EQ(std::make_pair(input(), console.cursor), std::make_pair(std::string(expected), (int)strlen(expected)));
    }
    for (int i = 0; i < 70; i++) // sixty-four are kept
        press("fx_time " + std::to_string(i) + "\r");
    press(std::string(100, '\x01'));
    EXPECT_EQ(input(), "fx_time 6");
}

// Text pixels in each committed row of a drawn overlay; with `atEnd`, only in its columns 48 to 51.
static std::vector<int> rowsWithText(const std::vector<uint32_t> &picture, uint32_t colour, bool atEnd = false)
{
    std::vector<int> rows;
    for (int row = 0; row < 16; row++) {
        bool any = false;
        for (int y = 2 + row * 9; y < 2 + row * 9 + 9; y++)
            for (int x = atEnd ? 2 + 48 * 6 : 0; x < (atEnd ? 2 + 52 * 6 : 320); x++)
                any |= picture[y * 320 + x] == colour;
        if (any)
            rows.push_back(row);
    }
    return rows;
}

TEST_F(EditConsole, PageKeysScrollALongerScrollbackAndLongLinesWrap)
{
    for (int i = 0; i < 600; i++)
        consolePrint("line %d", i);
    EXPECT_EQ(std::make_pair(console.current, std::string(console.lines[48])), std::make_pair(49, std::string("line 599")));
    EXPECT_EQ(linesFrom(CONSOLE_EDIT_LINES - 1), std::vector<std::string>{"line 599"});
    EXPECT_STREQ(consoleEditLine(0), "line 88");
    // Fifteen rows: a page is thirteen lines (one stays in sight, the marker
    // takes a row), and no further back than the oldest line at the top.
    const std::pair<const char *, int> steps[] = {{"\x04", 0}, {"\x03", 13}, {"\x03\x03\x04", 26}, {"\x03\x03\x03\x03\x03\x03"
        "\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03\x03",
        CONSOLE_EDIT_LINES - 14}};
    for (auto [keys, offset] : steps) {
        press(keys);
        EXPECT_EQ(consoleScrollOffset(), offset);
    }
    std::vector<uint32_t> picture(320 * 180, 0); // the marker, and the prompt
    consoleDraw(picture.data(), 320, 180, 15);
    EXPECT_EQ(rowsWithText(picture, 0xFFC040), (std::vector<int>{14, 15}));
    press("fx_time\r"); // new output: back to the newest
    EXPECT_EQ(consoleScrollOffset(), 0);
    std::fill(picture.begin(), picture.end(), 0);
    consoleDraw(picture.data(), 320, 180, 15);
    EXPECT_EQ(rowsWithText(picture, 0xFFC040), std::vector<int>{15});

    // Long lines wrap after the last blank that fits, or inside a long word.
    memset(&console, 0, sizeof console), consoleKey('`'), consoleSetEditMode(1, hold);
    consolePrint("%s", std::string(120, 'w').c_str()); // 52, 52 and 16 columns
    consolePrint("abcde abcde abcde abcde abcde abcde abcde abcde abcde abcde"); // 48, then 11
    std::fill(picture.begin(), picture.end(), 0);
    consoleDraw(picture.data(), 320, 180, 15);
    EXPECT_EQ(rowsWithText(picture, 0xC8C8C8), (std::vector<int>{10, 11, 12, 13, 14}));
    EXPECT_EQ(rowsWithText(picture, 0xC8C8C8, true), (std::vector<int>{10, 11}));
}

TEST_F(EditConsole, TabCompletesListsInColumnsAndCyclesThroughSeveralNames)
{
    for (const char *name : {"post_glow", "post_glow_blur_h", "post_glow_threshold", "post_glow_blur_v", "post_blur_h"})
        addVar(cvarDefine(name, "0", 0, 0), 0);
    // Keys, the input line afterwards, the lines printed meanwhile.
    const std::tuple<const char *, const char *, std::vector<std::string>> steps[] = {
        {"post_glow_b\t", "post_glow_blur_", {"post_glow_blur_h  post_glow_blur_v"}},
        {"\t", "post_glow_blur_h ", {}}, {"\t", "post_glow_blur_v ", {}}, {"\t", "post_glow_blur_h ", {}},
        {"\b\b\t", "post_glow_blur_", {"post_glow_blur_h  post_glow_blur_v"}}, // edited: a new completion
        {"\b\b\b\b\b\b\t", "post_glow", {"post_glow            post_glow_blur_h",
                                          "post_glow_blur_v     post_glow_color", "post_glow_threshold"}},
        {"\t", "post_glow ", {}},
        {"\b_t\t", "post_glow_threshold ", {}}, // one match: completed, nothing listed
        {"\t", "post_glow_threshold ", {}},     // past the name: nothing
        {"\rzz\t", "zz", {"post_glow_threshold ", "post_glow_threshold = 0", "No variable begins with zz"}},
    };
    for (const auto &[keys, expected, printed] : steps) {
        SCOPED_TRACE(keys);
        const int before = consoleEditLineCount();
        press(keys);
        EXPECT_EQ(std::make_pair(input(), console.cursor), std::make_pair(std::string(expected), (int)strlen(expected)));
        EXPECT_EQ(linesFrom(before), printed);
    }
}

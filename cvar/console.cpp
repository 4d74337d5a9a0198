// The console: input line, scrollback, the variable commands, the key
// binding, and the overlay that draws it onto the shown picture.
#include "cvar/console.h"

#include <algorithm> // Required for: std::sort(), std::clamp()
#include <cmath>     // Required for: std::isfinite()
#include <cstdarg>
#include <cstdio>
#include <cstdlib>   // Required for: strtod()
#include <cstring>

#include "cvar/consolefont.h"
#include "cvar/cvar.h"

enum {
    CONSOLE_LAST_LINE = CONSOLE_LINES - 1,     // 49: the input line once the scrollback is full
    CONSOLE_MAX_CHARS = CONSOLE_LINE_SIZE - 1, // 255: a line always keeps its terminating zero
};

// Overlay geometry: a glyph with one blank column and row after it, and a
// margin around the text inside the band.
enum {
    CONSOLE_CELL_WIDTH = CONSOLE_FONT_WIDTH + 1,   // 6
    CONSOLE_CELL_HEIGHT = CONSOLE_FONT_HEIGHT + 1, // 9
    CONSOLE_MARGIN = 2,
};

// Overlay colours, 0x00RRGGBB.
enum : uint32_t {
    CONSOLE_TEXT_COLOUR = 0xC8C8C8,   // committed lines
    CONSOLE_INPUT_COLOUR = 0xFFFFFF,  // the line being typed
    CONSOLE_PROMPT_COLOUR = 0xFFC040,
    CONSOLE_CURSOR_COLOUR = 0xFFC040,
    CONSOLE_EDGE_COLOUR = 0x707070,   // the band's bottom row
};

// The edit mode's console.
enum {
    CONSOLE_HISTORY_LINES = 64, // executed lines Up and Down walk through
    CONSOLE_MATCHES = 1024,     // names a listing or Tab takes, in name order
    CONSOLE_WORDS = 6,          // words of a command kept: a name and up to five numbers
    // What the overlay holds on the 320-pixel picture with env_console_lines
    // at 15, until it has been drawn once: text columns, rows of committed lines.
    CONSOLE_EDIT_COLUMNS = 52,
    CONSOLE_EDIT_ROWS = 15,
};
enum : uint32_t { CONSOLE_MARKER_COLOUR = 0xFFC040 }; // "newer lines below" while scrolled back

// Shown for characters the font does not hold.
static constexpr uint8_t consoleBoxGlyph[CONSOLE_FONT_HEIGHT] = {0x1F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1F, 0x00};

static Console *con; // the console in use: the screen's, or a test's

// What the edit mode adds to the console in use; all zero while it is off.
struct ConsoleEdit {
    int on;
    int (*hold)(Cvar *cvar);                            // keeps a hand-set value against its tracks
    char lines[CONSOLE_EDIT_LINES][CONSOLE_LINE_SIZE];  // committed lines, a ring
    int64_t committed;                                  // lines put into the ring; the newest CONSOLE_EDIT_LINES are kept
    int offset;                                         // committed lines below the view
    int columns, rows;                                  // text columns and rows of committed lines when last drawn
    char history[CONSOLE_HISTORY_LINES][CONSOLE_LINE_SIZE]; // executed lines, oldest first
    int historyCount;
    int historyAt;                                      // historyCount: the line being typed
    char draft[CONSOLE_LINE_SIZE];                      // the line being typed while the history is walked
    Cvar *matches[CONSOLE_MATCHES];                     // what the last Tab found, in name order
    int matchCount;
    int matchAt;                                        // the match in the line; -1: their common beginning
    char completed[CONSOLE_LINE_SIZE];                  // the input line as the last Tab left it
};
static ConsoleEdit editing;

static bool consoleIsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

static char *consoleInput(void)
{
    return con->lines[con->current];
}

// Copies the next blank-separated word after p into token (at most 255
// characters) and returns where scanning goes on; token is empty when the
// text holds no further word.
static const char *consoleNextToken(const char *p, char token[CONSOLE_LINE_SIZE])
{
    while (consoleIsBlank(*p))
        p++;
    int n = 0;
    while (*p && !consoleIsBlank(*p)) {
        if (n < CONSOLE_MAX_CHARS)
            token[n++] = *p;
        p++;
    }
    token[n] = 0;
    return p;
}

void consoleUse(Console *console)
{
    con = console;
    if (!con)
        return;
    // The record is kept by its owner; indices outside their ranges would send
    // every later write outside the scrollback.
    if (con->current < 0 || con->current > CONSOLE_LAST_LINE)
        con->current = 0;
    if (con->cursor < 0 || con->cursor > CONSOLE_MAX_CHARS)
        con->cursor = 0;
    for (int i = 0; i < CONSOLE_LINES; i++)
        con->lines[i][CONSOLE_MAX_CHARS] = 0;
}

void consolePutChar(int c)
{
    // A zero byte would end the line's text short of the cursor.
    if (!con || c == 0 || con->cursor >= CONSOLE_MAX_CHARS)
        return;
    consoleInput()[con->cursor++] = (char)c;
}

void consoleNewLine(void)
{
    if (!con)
        return;
    if (editing.on) {
        memcpy(editing.lines[editing.committed % CONSOLE_EDIT_LINES], consoleInput(), CONSOLE_LINE_SIZE);
        editing.committed++;
        editing.offset = 0; // new output is seen at once
    }
    if (con->current < CONSOLE_LAST_LINE) {
        con->current++;
    } else {
        memmove(con->lines[0], con->lines[1], sizeof con->lines - sizeof con->lines[0]);
        con->current = CONSOLE_LAST_LINE;
    }
    memset(consoleInput(), 0, CONSOLE_LINE_SIZE);
    con->cursor = 0;
}

void consolePrint(const char *format, ...)
{
    if (!con)
        return;
    char text[CONSOLE_LINE_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    for (const char *p = text; *p; p++)
        consolePutChar((unsigned char)*p);
    consoleInput()[con->cursor] = 0;
    consoleNewLine();
}

void consoleSetLine(const char *text)
{
    if (!con)
        return;
    char copy[CONSOLE_LINE_SIZE] = "";
    if (text)
        snprintf(copy, sizeof copy, "%s", text); // the text may be the input line itself
    char *line = consoleInput();
    memset(line, 0, CONSOLE_LINE_SIZE);
    size_t length = strlen(copy);
    memcpy(line, copy, length);
    con->cursor = (int32_t)length;
}

static void consoleCompleteEdit(void);
static void consoleExecuteEdit(void);

void consoleComplete(void)
{
    if (con && editing.on) {
        consoleCompleteEdit();
        return;
    }
    if (!con || con->cursor == 0)
        return;
    const char *input = consoleInput();
    size_t length = strlen(input);
    // The registry runs newest first, so the newest matching variable wins.
    for (Cvar *cvar = cvarList; cvar; cvar = cvar->next) {
        if (strncmp(cvar->name, input, length) == 0) {
            consoleSetLine(cvar->name);
            consolePutChar(' '); // dropped when the name fills the line
            return;
        }
    }
}

void consoleExecute(void)
{
    if (!con || con->cursor == 0)
        return;
    char name[CONSOLE_LINE_SIZE], text[CONSOLE_LINE_SIZE];
    consoleNextToken(consoleNextToken(consoleInput(), name), text);
    if (!name[0])
        return; // only blanks: the line stays as typed
    if (editing.on) {
        consoleExecuteEdit();
        return;
    }
    consoleNewLine();

    if (text[0]) {
        if (!CvarFind(name)) {
            consolePrint("Variable %s not found", name);
            return;
        }
        CvarSet(name, text);
        consolePrint("%s = %s", name, text);
    } else if (strcmp(name, "vars") == 0) {
        for (Cvar *cvar = cvarList; cvar; cvar = cvar->next)
            consolePrint("%s = %s", cvar->name, cvar->text);
    } else if (Cvar *cvar = CvarFind(name)) {
        consolePrint("  %s = %s ", cvar->name, cvar->text);
    } else {
        consolePrint("Variable %s not found", name);
    }
}

static bool consoleTypable(int key)
{
    return (key >= 'a' && key <= 'z') || (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || key == ' ' ||
           key == '_' || key == '/' || key == '.' || key == '-';
}

void consoleKey(int key)
{
    if (!con)
        return;
    if (key == CONSOLE_KEY_TOGGLE) {
        con->visible = !con->visible;
        return;
    }
    if (!con->visible)
        return;
    if (key == CONSOLE_KEY_ENTER) {
        consoleExecute();
    } else if (key == CONSOLE_KEY_BACKSPACE) {
        if (con->cursor >= 1)
            consoleInput()[--con->cursor] = 0;
    } else if (key == CONSOLE_KEY_TAB) {
        consoleComplete();
    } else if (consoleTypable(key)) {
        consolePutChar(key);
    }
}

// ---------------------------------------------------------------------------
// The edit mode's console
// ---------------------------------------------------------------------------

void consoleSetEditMode(int on, int (*hold)(Cvar *cvar))
{
    memset(&editing, 0, sizeof editing);
    editing.on = on;
    editing.hold = hold;
    editing.columns = CONSOLE_EDIT_COLUMNS;
    editing.rows = CONSOLE_EDIT_ROWS;
    if (!on || !con)
        return;
    for (int i = 0; i < con->current; i++)
        memcpy(editing.lines[editing.committed++ % CONSOLE_EDIT_LINES], con->lines[i], CONSOLE_LINE_SIZE);
}

int consoleEditLineCount(void)
{
    return (int)std::min<int64_t>(editing.committed, CONSOLE_EDIT_LINES);
}

const char *consoleEditLine(int i)
{
    int kept = consoleEditLineCount();
    if (i < 0 || i >= kept)
        return "";
    return editing.lines[(editing.committed - kept + i) % CONSOLE_EDIT_LINES];
}

int consoleScrollOffset(void)
{
    return editing.offset;
}

// Where the overlay's rows of a committed line begin: a row ends after the
// last blank that fits, or, in a word longer than a third of the row, at the
// row's end. starts has room for CONSOLE_LINE_SIZE entries; returns the rows.
static int consoleWrap(const char *line, int columns, int *starts)
{
    const int length = (int)strlen(line);
    columns = std::max(columns, 1);
    int rows = 0, at = 0;
    do {
        starts[rows++] = at;
        if (length - at <= columns)
            break;
        int end = at + columns; // the first character that does not fit
        int cut = end;
        while (cut > at + std::max(columns * 2 / 3, 1) && line[cut - 1] != ' ')
            cut--;
        at = line[cut - 1] == ' ' ? cut : end;
    } while (at < length);
    return rows;
}

static int consoleRowsOf(const char *line)
{
    int starts[CONSOLE_LINE_SIZE];
    return consoleWrap(line, editing.columns, starts);
}

// The furthest back the view goes: the oldest lines fill it from the top
// (below them the marker row).
static int consoleMaxOffset(void)
{
    int kept = consoleEditLineCount(), rows = std::max(editing.rows - 1, 1), used = 0, bottom = 0;
    while (bottom < kept - 1 && (used += consoleRowsOf(consoleEditLine(bottom))) < rows)
        bottom++;
    return std::max(kept - 1 - bottom, 0);
}

void consoleScrollPages(int pages)
{
    if (!con || !editing.on)
        return;
    // A page keeps one line of the view before it in sight; the marker takes a row.
    int64_t page = std::max(editing.rows - 2, 1);
    editing.offset = (int)std::clamp<int64_t>(editing.offset + pages * page, 0, consoleMaxOffset());
}

void consoleHistory(int step)
{
    if (!con || !editing.on || step == 0)
        return;
    int at = std::clamp(editing.historyAt + (step < 0 ? -1 : 1), 0, editing.historyCount);
    if (at == editing.historyAt)
        return;
    if (editing.historyAt == editing.historyCount)
        memcpy(editing.draft, consoleInput(), CONSOLE_LINE_SIZE);
    editing.historyAt = at;
    consoleSetLine(at == editing.historyCount ? editing.draft : editing.history[at]);
}

static void consoleRemember(const char *line)
{
    int last = editing.historyCount - 1;
    if (last < 0 || strcmp(editing.history[last], line) != 0) { // a line run again is kept once
        if (editing.historyCount == CONSOLE_HISTORY_LINES) {
            memmove(editing.history[0], editing.history[1], sizeof editing.history - sizeof editing.history[0]);
            editing.historyCount--;
        }
        snprintf(editing.history[editing.historyCount++], CONSOLE_LINE_SIZE, "%s", line);
    }
    editing.historyAt = editing.historyCount;
    editing.draft[0] = 0;
}

// Numbers a variable takes: the value, or the components of a colour or
// vector. Any other kind is a float, as the sync update treats it.
static int consoleComponents(const Cvar *cvar)
{
    return cvar->kind == CVAR_COLOR ? 4 : cvar->kind == CVAR_VEC3 ? 3 : 1;
}

// What the owner reads now.
static void consoleFormatLive(const Cvar *cvar, char *out, size_t size)
{
    switch (consoleComponents(cvar)) {
    case 4: snprintf(out, size, "%g %g %g %g", cvar->vec[0], cvar->vec[1], cvar->vec[2], cvar->vec[3]); break;
    case 3: snprintf(out, size, "%g %g %g", cvar->vec[0], cvar->vec[1], cvar->vec[2]); break;
    default: snprintf(out, size, "%g", cvar->value); break;
    }
}

// "the track intro_zoom" or "the tracks post_glow_color_r, _g, _b": the
// tracks the sync update writes into the variable (after the first, what the
// binding added to the name); the count of them, 0 when none drives it.
static int consoleTracks(const Cvar *cvar, char *out, size_t size)
{
    if (!cvar->tracks[0]) // the sync update's own test
        return 0;
    const int slots = consoleComponents(cvar) == 1 ? 1 : 3;
    const size_t nameLength = strlen(cvar->name);
    char names[3 * CVAR_TRACK_NAME + 8]; // three names of at most 63 characters, two ", "
    int count = 0;
    size_t used = 0;
    for (int i = 0; i < slots; i++) {
        if (!cvar->tracks[i])
            continue;
        const char *name = cvar->trackNames[i];
        if (count > 0 && strncmp(name, cvar->name, nameLength) == 0 && name[nameLength])
            name += nameLength;
        used += snprintf(names + used, sizeof names - used, "%s%.63s", count ? ", " : "", name);
        count++;
    }
    snprintf(out, size, "the track%s %s", count == 1 ? "" : "s", names);
    return count;
}

// Prints above the input line, which keeps what is typed in it.
static void consoleSay(const char *format, ...) __attribute__((format(LOG_PRINTF_FORMAT, 1, 2)));
static void consoleSay(const char *format, ...)
{
    char typed[CONSOLE_LINE_SIZE], text[CONSOLE_LINE_SIZE];
    memcpy(typed, consoleInput(), sizeof typed);
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    consoleSetLine("");
    consolePrint("%s", text);
    consoleSetLine(typed);
}

static bool consoleByName(const Cvar *a, const Cvar *b)
{
    return strcmp(a->name, b->name) < 0;
}

// The variables whose names begin with prefix, in name order; how many.
static int consoleMatching(const char *prefix, Cvar **out, int max)
{
    size_t length = strlen(prefix);
    int count = 0;
    for (Cvar *cvar = cvarList; cvar && count < max; cvar = cvar->next) {
        if (strncmp(cvar->name, prefix, length) == 0)
            out[count++] = cvar;
    }
    std::sort(out, out + count, consoleByName);
    return count;
}

static void consoleShow(const Cvar *cvar)
{
    // The track names leave room for their words within one line.
    char live[96], text[CONSOLE_LINE_SIZE] = "", tracks[CONSOLE_LINE_SIZE - 16] = "", driven[CONSOLE_LINE_SIZE] = "";
    consoleFormatLive(cvar, live, sizeof live);
    if (strcmp(live, cvar->text) != 0)
        snprintf(text, sizeof text, " (text \"%.200s\")", cvar->text);
    if (consoleTracks(cvar, tracks, sizeof tracks))
        snprintf(driven, sizeof driven, ", driven by %s", tracks);
    consolePrint("%s = %s%s%s", cvar->name, live, text, driven);
}

static void consoleList(const char *prefix)
{
    static Cvar *found[CONSOLE_MATCHES];
    int count = consoleMatching(prefix, found, CONSOLE_MATCHES);
    for (int i = 0; i < count; i++) {
        char live[96];
        consoleFormatLive(found[i], live, sizeof live);
        consolePrint("%s = %s%s", found[i]->name, live, found[i]->tracks[0] ? " (track)" : "");
    }
    if (!prefix[0])
        consolePrint("%d variable%s", count, count == 1 ? "" : "s");
    else if (count == 0)
        consolePrint("No variable begins with %s", prefix);
    else
        consolePrint("%d variable%s begin%s with %s", count, count == 1 ? "" : "s", count == 1 ? "s" : "", prefix);
}

// A word that is all one finite number, as a float.
static bool consoleNumber(const char *word, float *out)
{
    char *end;
    double number = strtod(word, &end);
    if (end == word || *end || !std::isfinite((float)number))
        return false;
    *out = (float)number;
    return true;
}

// name value..., with `given` values (those past CONSOLE_WORDS - 1 are not
// kept: no kind takes that many).
static void consoleSetValues(Cvar *cvar, char words[][CONSOLE_LINE_SIZE], int given)
{
    const int components = consoleComponents(cvar);
    const bool countFits = components == 4 ? given == 3 || given == 4 : given == components;
    if (!countFits) {
        if (components == 4)
            consolePrint("%s is a colour: give r g b (alpha kept) or r g b a; nothing changed", cvar->name);
        else if (components == 3)
            consolePrint("%s is a vector: give x y z; nothing changed", cvar->name);
        else
            consolePrint("%s takes one number; nothing changed", cvar->name);
        return;
    }
    float numbers[4];
    for (int i = 0; i < given; i++) {
        if (!consoleNumber(words[i], &numbers[i])) {
            consolePrint("%s is not a number; %s unchanged", words[i], cvar->name);
            return;
        }
    }
    char text[CONSOLE_LINE_SIZE];
    if (components == 1) {
        snprintf(text, sizeof text, "%s", words[0]);
    } else {
        // A colour keeps its alpha unless given; a vector's w is 1, as a
        // variable file leaves it. The text reads as the components.
        std::copy(numbers, numbers + given, cvar->vec);
        if (components == 3)
            cvar->vec[3] = 1.0f;
        consoleFormatLive(cvar, text, sizeof text);
    }
    char tracks[CONSOLE_LINE_SIZE];
    const int driven = consoleTracks(cvar, tracks, sizeof tracks);
    const int held = driven && editing.hold && editing.hold(cvar);
    CvarSet(cvar->name, text); // text, value, and a change of the show for whoever watches
    consolePrint("%s = %s", cvar->name, text);
    if (held)
        consolePrint("  held while paused; %s take%s over again on play, seek or step", tracks, driven == 1 ? "s" : "");
    else if (driven)
        consolePrint("  %s override%s it from the next frame; pause to hold a value", tracks, driven == 1 ? "s" : "");
}

static void consoleExecuteEdit(void)
{
    char words[CONSOLE_WORDS][CONSOLE_LINE_SIZE], word[CONSOLE_LINE_SIZE];
    int count = 0;
    for (const char *p = consoleNextToken(consoleInput(), word); word[0]; p = consoleNextToken(p, word)) {
        if (count < CONSOLE_WORDS)
            memcpy(words[count], word, CONSOLE_LINE_SIZE);
        count++;
    }
    consoleRemember(consoleInput());
    consoleNewLine();

    if (strcmp(words[0], "vars") == 0 && count <= 2) {
        consoleList(count == 2 ? words[1] : "");
    } else if (Cvar *cvar = CvarFind(words[0])) {
        if (count == 1)
            consoleShow(cvar);
        else
            consoleSetValues(cvar, words + 1, count - 1);
    } else {
        consolePrint("Variable %s not found", words[0]);
    }
}

// Names in columns, as many as the overlay's width holds, in name order
// along the rows.
static void consoleListNames(Cvar *const *names, int count)
{
    size_t longest = 0;
    for (int i = 0; i < count; i++)
        longest = std::max(longest, strlen(names[i]->name));
    const int cell = (int)std::min<size_t>(longest + 2, CONSOLE_MAX_CHARS); // two blanks between columns
    const int perRow = std::max((std::clamp(editing.columns, 1, (int)CONSOLE_MAX_CHARS) + 2) / cell, 1);
    for (int first = 0; first < count; first += perRow) {
        char line[CONSOLE_LINE_SIZE] = "";
        int length = 0;
        for (int i = first; i < std::min(first + perRow, count) && length < CONSOLE_MAX_CHARS; i++) {
            const bool last = i + 1 == std::min(first + perRow, count);
            length += snprintf(line + length, sizeof line - length, "%-*s", last ? 0 : cell, names[i]->name);
        }
        consolePrint("%s", line);
    }
}

static void consoleCompleteEdit(void)
{
    const char *input = consoleInput();
    if (editing.matchCount > 1 && strcmp(input, editing.completed) == 0) {
        // The line is as the last Tab left it: the next name.
        editing.matchAt = (editing.matchAt + 1) % editing.matchCount;
        consoleSetLine(editing.matches[editing.matchAt]->name);
        consolePutChar(' ');
        memcpy(editing.completed, input, CONSOLE_LINE_SIZE);
        return;
    }
    editing.matchCount = 0;
    if (con->cursor == 0 || strpbrk(input, " \t\r\n")) // nothing typed, or the name is already followed by more
        return;
    char prefix[CONSOLE_LINE_SIZE];
    memcpy(prefix, input, sizeof prefix);
    int count = consoleMatching(prefix, editing.matches, CONSOLE_MATCHES);
    if (count == 0) {
        consoleSay("No variable begins with %s", prefix);
        return;
    }
    if (count == 1) {
        consoleSetLine(editing.matches[0]->name);
        consolePutChar(' ');
        return;
    }
    // In name order the first and the last name differ soonest.
    const char *first = editing.matches[0]->name, *last = editing.matches[count - 1]->name;
    char common[CONSOLE_LINE_SIZE];
    size_t length = 0;
    while (length < CONSOLE_MAX_CHARS && first[length] && first[length] == last[length]) {
        common[length] = first[length];
        length++;
    }
    common[length] = 0;
    consoleSetLine("");
    consoleListNames(editing.matches, count);
    consoleSetLine(common);
    editing.matchCount = count;
    editing.matchAt = -1;
    memcpy(editing.completed, consoleInput(), CONSOLE_LINE_SIZE);
}

// ---------------------------------------------------------------------------
// Overlay
// ---------------------------------------------------------------------------

// One glyph with its top-left corner at (x, y); the caller has checked that
// the whole glyph lies inside the picture.
static void consoleDrawGlyph(uint32_t *picture, int width, int x, int y, unsigned char c, uint32_t colour)
{
    const uint8_t *rows = c >= CONSOLE_FONT_FIRST && c <= CONSOLE_FONT_LAST ? consoleFont[c - CONSOLE_FONT_FIRST]
                                                                             : consoleBoxGlyph;
    for (int row = 0; row < CONSOLE_FONT_HEIGHT; row++) {
        uint32_t *dst = picture + (size_t)(y + row) * width + x;
        for (int col = 0; col < CONSOLE_FONT_WIDTH; col++) {
            if (rows[row] & (0x10 >> col))
                dst[col] = colour;
        }
    }
}

// Up to length characters of text, stopping at its end or at column last,
// starting in column first of the text row at y.
static void consoleDrawText(uint32_t *picture, int width, int y, int first, int last, const char *text, int length,
                            uint32_t colour)
{
    for (int i = 0; i < length && first + i <= last && text[i]; i++)
        consoleDrawGlyph(picture, width, CONSOLE_MARGIN + (first + i) * CONSOLE_CELL_WIDTH, y,
                         (unsigned char)text[i], colour);
}

// The committed rows of the edit mode's overlay: the ring, wrapped at the
// width, the newest lowest, from `offset` lines back; while scrolled back
// the lowest row says how many newer lines lie below.
static void consoleDrawEditLines(uint32_t *picture, int width, int lineCount, int columns)
{
    editing.columns = columns;
    editing.rows = lineCount;
    editing.offset = std::min(editing.offset, consoleMaxOffset());
    int row = lineCount; // the rows above this one are still free
    if (editing.offset > 0 && row > 0) {
        char marker[CONSOLE_LINE_SIZE];
        snprintf(marker, sizeof marker, "-- %d newer line%s below: Page Down --", editing.offset,
                 editing.offset == 1 ? "" : "s");
        row--;
        consoleDrawText(picture, width, CONSOLE_MARGIN + row * CONSOLE_CELL_HEIGHT, 0, columns - 1, marker,
                        CONSOLE_MAX_CHARS, CONSOLE_MARKER_COLOUR);
    }
    for (int i = consoleEditLineCount() - 1 - editing.offset; i >= 0 && row > 0; i--) {
        const char *line = consoleEditLine(i);
        int starts[CONSOLE_LINE_SIZE];
        const int pieces = consoleWrap(line, columns, starts), length = (int)strlen(line);
        for (int piece = pieces - 1; piece >= 0 && row > 0; piece--) {
            row--;
            const int end = piece + 1 < pieces ? starts[piece + 1] : length;
            consoleDrawText(picture, width, CONSOLE_MARGIN + row * CONSOLE_CELL_HEIGHT, 0, columns - 1,
                            line + starts[piece], end - starts[piece], CONSOLE_TEXT_COLOUR);
        }
    }
}

int consoleDraw(uint32_t *picture, int width, int height, int lineCount)
{
    if (!con || !con->visible || !picture || width <= 0 || height <= 0)
        return 0;
    // The variable that sets lineCount may hold anything: keep to the
    // scrollback and to the text rows the picture has room for, input included.
    int rowsFit = (height - 2 * CONSOLE_MARGIN) / CONSOLE_CELL_HEIGHT;
    int columns = (width - 2 * CONSOLE_MARGIN) / CONSOLE_CELL_WIDTH;
    if (rowsFit < 1 || columns < 2) // no room for the prompt and the cursor
        return 0;
    if (lineCount < 0)
        lineCount = 0;
    if (lineCount > CONSOLE_LAST_LINE)
        lineCount = CONSOLE_LAST_LINE;
    if (lineCount > rowsFit - 1)
        lineCount = rowsFit - 1;
    int band = (lineCount + 1) * CONSOLE_CELL_HEIGHT + 2 * CONSOLE_MARGIN;

    // Darken the band to a quarter so that text stays readable over any frame.
    for (size_t i = 0; i < (size_t)band * width; i++)
        picture[i] = (picture[i] >> 2) & 0x3F3F3F;
    uint32_t *edge = picture + (size_t)(band - 1) * width;
    for (int x = 0; x < width; x++)
        edge[x] = CONSOLE_EDGE_COLOUR;

    // Committed lines fill the rows above the input line from the bottom up,
    // newest lowest; rows above the first line stay empty.
    if (editing.on) {
        consoleDrawEditLines(picture, width, lineCount, columns);
    } else {
        for (int row = 0; row < lineCount; row++) {
            int line = con->current - lineCount + row;
            if (line >= 0)
                consoleDrawText(picture, width, CONSOLE_MARGIN + row * CONSOLE_CELL_HEIGHT, 0, columns - 1,
                                con->lines[line], CONSOLE_MAX_CHARS, CONSOLE_TEXT_COLOUR);
        }
    }

    // Input line: a prompt, the text, the cursor block. A line longer than
    // the picture is wide shows its end, where the typing happens.
    int y = CONSOLE_MARGIN + lineCount * CONSOLE_CELL_HEIGHT;
    int textColumns = columns - 2; // the prompt and the cursor take one column each
    int first = con->cursor > textColumns ? con->cursor - textColumns : 0;
    consoleDrawGlyph(picture, width, CONSOLE_MARGIN, y, '>', CONSOLE_PROMPT_COLOUR);
    consoleDrawText(picture, width, y, 1, columns - 2, consoleInput() + first, con->cursor - first,
                    CONSOLE_INPUT_COLOUR);
    int cursorX = CONSOLE_MARGIN + (1 + con->cursor - first) * CONSOLE_CELL_WIDTH;
    for (int row = 0; row < CONSOLE_FONT_CAP_HEIGHT; row++) {
        uint32_t *dst = picture + (size_t)(y + row) * width + cursorX;
        for (int col = 0; col < CONSOLE_FONT_WIDTH; col++)
            dst[col] = CONSOLE_CURSOR_COLOUR;
    }
    return band;
}

int consoleDrawStatus(uint32_t *picture, int width, int height, const char *text)
{
    int band = CONSOLE_CELL_HEIGHT + 2 * CONSOLE_MARGIN;
    int columns = (width - 2 * CONSOLE_MARGIN) / CONSOLE_CELL_WIDTH;
    if (!picture || !text || height < band || columns < 1)
        return height;
    int top = height - band;
    for (size_t i = (size_t)top * width; i < (size_t)height * width; i++)
        picture[i] = (picture[i] >> 2) & 0x3F3F3F;
    for (int x = 0; x < width; x++)
        picture[(size_t)top * width + x] = CONSOLE_EDGE_COLOUR;
    consoleDrawText(picture, width, top + CONSOLE_MARGIN + 1, 0, columns - 1, text, CONSOLE_MAX_CHARS,
                    CONSOLE_INPUT_COLOUR);
    return top;
}

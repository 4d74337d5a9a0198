// The console: input line, scrollback, the variable commands, the key
// binding, and the overlay that draws it onto the shown picture.
#include "cvar/console.h"

#include <cstdarg>
#include <cstdio>
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

// Shown for characters the font does not hold.
static constexpr uint8_t consoleBoxGlyph[CONSOLE_FONT_HEIGHT] = {0x1F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1F, 0x00};

static Console *con; // the console in use: the screen's, or a test's

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

void consoleComplete(void)
{
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
    for (int row = 0; row < lineCount; row++) {
        int line = con->current - lineCount + row;
        if (line >= 0)
            consoleDrawText(picture, width, CONSOLE_MARGIN + row * CONSOLE_CELL_HEIGHT, 0, columns - 1,
                            con->lines[line], CONSOLE_MAX_CHARS, CONSOLE_TEXT_COLOUR);
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

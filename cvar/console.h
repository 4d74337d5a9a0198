// The console: a one-line command interpreter on the keyboard that lists,
// shows and sets console variables while the demo runs, its scrollback, and
// the overlay that shows both on the presented picture.
#pragma once

#include <cstdint>

#include "core/log.h" // Required for: LOG_PRINTF_FORMAT

struct Cvar;

enum {
    CONSOLE_LINES = 50,      // scrollback lines, the input line included
    CONSOLE_LINE_SIZE = 256, // 255 characters and the terminating zero
};

// Lives inside the screen record. Zero-filled it is a hidden console with an
// empty input line 0.
struct Console {
    char lines[CONSOLE_LINES][CONSOLE_LINE_SIZE]; // scrollback; lines[current] is the input line
    int32_t current;                              // 0..49
    int32_t visible;                              // flipped by the backquote key
    int32_t cursor;                               // characters in the input line, 0..255
};

// Key codes the console reacts to (character codes, as the window delivers them).
enum {
    CONSOLE_KEY_BACKSPACE = 8,
    CONSOLE_KEY_TAB = 9,
    CONSOLE_KEY_ENTER = 13,
    CONSOLE_KEY_TOGGLE = '`',
};

// ---------------------------------------------------------------------------
// The console in use
// ---------------------------------------------------------------------------
// Every function below acts on this console; until one is given they do
// nothing. Out-of-range indices in the record are pulled back into range.
void consoleUse(Console *console);

// ---------------------------------------------------------------------------
// Input line and scrollback
// ---------------------------------------------------------------------------
void consolePutChar(int c);                  // appends at the cursor; dropped when the line is full or c is 0
void consoleNewLine(void);                   // commits the input line; scrolls at line 49
void consolePrint(const char *format, ...)   // printf-style, cut to 255 characters, then a new line
    __attribute__((format(LOG_PRINTF_FORMAT, 1, 2)));
void consoleSetLine(const char *text);       // replaces the input line, cut to 255 characters

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------
void consoleComplete(void); // Tab: the newest variable whose name begins with the input, then a space
// Enter: "vars" lists every variable newest first, one word shows a variable,
// two words set one; a blank line does nothing and keeps its blanks.
void consoleExecute(void);

// The key binding the screen update applies once per frame to the last key:
// backquote toggles the console; while it is shown Enter executes, Backspace
// removes the last character, Tab completes, and letters, digits, space and
// "_/.-" are typed. Every other key, and every key but the backquote while
// the console is hidden, is ignored. Pass character codes and the backspace
// key only: the key-down code of delete (46) is also the code of ".".
void consoleKey(int key);

// ---------------------------------------------------------------------------
// Overlay
// ---------------------------------------------------------------------------
// Draws the console, when it is shown, over a darkened band at the top of a
// picture of 0x00RRGGBB pixels (row stride width): the last lineCount
// committed lines and below them the input line with its cursor. lineCount is
// pulled into 0..49 and into what the height holds. Draw only into the copy
// about to be shown, never into frame buffer 0 or a capture. Returns the rows
// of the band, every pixel it may change lies in rows 0..band-1; 0 when
// nothing was drawn (hidden console, null picture, picture too small).
int consoleDraw(uint32_t *picture, int width, int height, int lineCount);
// One line of text over a darkened band along the bottom of a picture, in
// the console's font (the edit mode's status line); text past the width is
// cut. Returns the band's first row, or height when nothing was drawn.
int consoleDrawStatus(uint32_t *picture, int width, int height, const char *text);

// ---------------------------------------------------------------------------
// The edit mode's console
// ---------------------------------------------------------------------------
// Only the edit mode switches this on; the console of a plain run never
// changes. On top of the plain console, with on set:
// - one word shows what the owner reads now (value, the colour's r g b a or
//   the vector's x y z), the text when it reads otherwise, and the tracks that
//   drive it: "intro_zoom = 1.25 (text "1"), driven by the track intro_zoom";
// - a float takes one number; a colour takes r g b a, or r g b and keeps its
//   alpha (tracks never touch it either); a vector takes x y z and its w
//   becomes 1, as a variable file sets it. The text then reads as the
//   components. A word that is not a whole finite number, or a wrong count,
//   changes nothing and says so;
// - setting a variable that tracks drive asks hold(cvar): 1 when the caller
//   keeps the value in force for now (the edit mode while paused), 0 when the
//   tracks take it back at the next frame; the console says which;
// - "vars" and "vars PREFIX" list the variables (whose names begin with
//   PREFIX) in name order with their live values, and count them;
// - Tab with one match completes it; with several, the first Tab completes
//   their longest common beginning and lists them, each further Tab puts the
//   next one (name order) in the line;
// - executed lines are kept for consoleHistory, and the overlay shows a
//   longer scrollback, wrapped at its width, that consoleScrollPages moves
//   through; any new line brings the view back to the newest.
// Switching it on or off starts the history and the longer scrollback anew
// (from the committed lines of the console in use).
void consoleSetEditMode(int on, int (*hold)(Cvar *cvar));
void consoleHistory(int step);      // -1 (Up) an older executed line; +1 (Down) a newer one, after the newest the line that was being typed
void consoleScrollPages(int pages); // +1 (Page Up) a page further back, -1 (Page Down) toward the newest
enum { CONSOLE_EDIT_LINES = 512 };  // the edit mode's scrollback
int consoleEditLineCount(void);     // committed lines kept, at most CONSOLE_EDIT_LINES
const char *consoleEditLine(int i); // 0 the oldest kept; "" out of range
int consoleScrollOffset(void);      // committed lines below the view, 0 when it shows the newest

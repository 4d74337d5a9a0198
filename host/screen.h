// The display: the screen record with its three frame buffers, the window
// that shows the picture, window input, and the per-frame screen update.
#pragma once

#include <cstdint>

#include "cvar/console.h"
#include "render/bitmap.h"

struct PlatformEvent;

enum {
    MOUSE_LEFT = 1 << 0,
    MOUSE_RIGHT = 1 << 1,
    MOUSE_MIDDLE = 1 << 2,
};

enum {
    SCREEN_WINDOW_WIDTH = 1920,
    SCREEN_WINDOW_HEIGHT = 1080,
    SCREEN_WINDOW_X = 0,
    SCREEN_WINDOW_Y = 64,
    SCREEN_ZOOM = 6, // 320 x 180 enlarged to fill 1920 x 1080
    SCREEN_REFRESH_GUESS = 60, // hertz, for displays that do not tell theirs
};

struct Screen {
    int32_t width;         // 320
    int32_t height;        // 240
    int32_t pitch;         // 1280 bytes per row
    int32_t bytesPerPixel; // 4
    int32_t mouseButtons;  // MOUSE_* bits of the buttons held
    int32_t key;           // code of the last key message, 0 after any other message
    uint32_t *block0;      // allocations of 304 rows each
    uint32_t *block1;
    uint32_t *block2;
    uint32_t *buffer0;     // frame buffer 0: built, post-processed and presented
    uint32_t *buffer1;     // scratch frames
    uint32_t *buffer2;
    Texture texture0;      // 320 x 240 views of the three frames (pixels not owned)
    Texture texture1;
    Texture texture2;
    Console console;       // scrollback, input line, shown flag
};

// Offline runs make the frame buffers but no window; each presentation hands
// the picture to the capture writer instead.
void screenSetOffline(int offline);

// How a live run shows the picture; set before screenCreate. The zero-filled
// record is the plain run: the 1920 x 1080 window at (0, 64) of the first
// display, moved up and left as far as it must to lie wholly on it (and made
// smaller by whole factors on a display smaller than it), presentation held
// to the display's refresh.
enum {
    SCREEN_WINDOWED = 0,
    SCREEN_FULLSCREEN = 1, // desktop full screen, largest whole enlargement, centred on black, no pointer
};
struct ScreenDisplay {
    int32_t mode;    // SCREEN_WINDOWED or SCREEN_FULLSCREEN
    int32_t zoom;    // windowed: a window of 320 x 180 times zoom; 0 for the 1920 x 1080 window
    int32_t display; // the display to open on, 0 the first
    int32_t noVsync; // present as fast as the loop goes: no wait for the refresh
};
void screenSetDisplay(const ScreenDisplay *display);

// Where a window goes on a display (its bounds on the desktop) and the whole
// enlargement of the picture in it. A window that would not fit is made
// smaller by whole factors (at least 1); fitted reports that it did not.
struct ScreenPlacement {
    int32_t x, y, width, height;
    int32_t zoom;
    int32_t fitted; // 1 when the asked-for size did not fit and a smaller one was taken
};
void screenPlace(const ScreenDisplay *request, int displayX, int displayY, int displayWidth, int displayHeight,
                 ScreenPlacement *out);
// The largest whole enlargement of the 320 x 180 picture within an area (at
// least 1).
int screenFitZoom(int width, int height);

Screen *screenCreate(void);  // null on failure or when called a second time
int screenInit(Screen *screen); // 1 when the three blocks were allocated
void screenDestroy(void);
void screenWndProc(const PlatformEvent *event);
int screenPresent(void);     // nonzero until a close request came
int screenUpdate(void);      // once per frame: nonzero to go on
void screenClear(uint32_t colour);

// The edit mode's additions, none in a plain run: every key and character
// message also goes to a listener (PLATFORM_EVENT_KEY_DOWN or _CHAR, with its
// code), and a drawing over the shown copy of the picture, under the console
// (never into frame buffer 0 or a capture). Null removes either.
void screenSetKeyListener(void (*listener)(int type, int code));
void screenSetOverlay(void (*draw)(uint32_t *picture, int width, int height));

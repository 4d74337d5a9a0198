// The thin layer over the operating system: steady clock, message boxes, the
// window with its OpenGL context, window events and presentation. Nothing
// outside platform/ touches SDL, OpenGL or GLEW.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Clock (platform/clock.cpp)
// ---------------------------------------------------------------------------
uint64_t platformCounter(void);   // steady clock ticks
uint64_t platformFrequency(void); // ticks per second
double platformSecondsSince(uint64_t counter); // seconds from a platformCounter() reading to now
void platformSleep(int milliseconds);
void platformSleepUntil(uint64_t counter); // returns at once when that moment has passed

// ---------------------------------------------------------------------------
// Message boxes (platform/window.cpp)
// ---------------------------------------------------------------------------
enum {
    MSGBOX_EXCLAMATION = 0x30,
    MSGBOX_INFORMATION = 0x40,
};
// Always printed to standard output as "caption: text"; also shown as a box
// once a display has been opened.
void platformMessageBox(const char *text, const char *caption, unsigned flags);

// ---------------------------------------------------------------------------
// Window and OpenGL (platform/window.cpp)
// ---------------------------------------------------------------------------

// Opens the video system. Returns 1 when a real display is there; otherwise
// 0 with the reason in why. A fallback to an invisible driver that the user
// did not ask for counts as no display.
int platformVideoInit(char *why, size_t whySize);

// The displays of the desktop, numbered from 0, and their places on it.
int platformDisplayCount(void);
int platformDisplayBounds(int display, int *x, int *y, int *width, int *height); // 1 on success

enum {
    PLATFORM_WINDOW_FULLSCREEN = 1 << 0, // desktop full screen on the display that holds (x, y)
};
// A borderless window; 1 on success.
int platformWindowCreate(const char *title, int x, int y, int width, int height, unsigned flags);
// The window's drawable size in pixels.
void platformWindowSize(int *width, int *height);
// Refresh rate of the display the window lies on, in hertz; 0 when the
// display does not say.
int platformWindowRefresh(void);
void platformShowPointer(int show);

enum {
    PLATFORM_GL_OK = 0,
    PLATFORM_GL_NO_CONTEXT,   // the rendering context could not be created
    PLATFORM_GL_NOT_CURRENT,  // it could not be made current
    PLATFORM_GL_NO_EXTENSIONS // the extension loader failed
};
int platformGLCreate(void);
// Asks that a buffer swap wait for the display's refresh (on) or not (off);
// 1 when the driver took the request. Taken is not kept: measure.
int platformGLSetVsync(int on);

// Release steps, each answering 1 on success.
int platformGLMakeNoneCurrent(void);
int platformGLDeleteContext(void); // fails when no context exists
void platformWindowDestroy(void);

// Where presentation puts the picture: its top-left corner in the drawable
// (y downward), the whole enlargement, the drawable's height and the colour
// around the picture (red, green, blue from 0 to 1).
struct PlatformView {
    int x;
    int y;
    int zoom;
    int drawableHeight;
    float border[3];
};
// Clears to the border colour, draws width x rows BGRA pixels (top row first)
// enlarged zoom times by pixel repetition at the view's corner, and swaps.
void platformPresent(const uint32_t *pixels, int width, int rows, const PlatformView *view);

// Window events, reduced to what the demo reacts to.
enum {
    PLATFORM_EVENT_OTHER = 0, // any message the demo does not act on
    PLATFORM_EVENT_BUTTON_DOWN,
    PLATFORM_EVENT_BUTTON_UP,
    PLATFORM_EVENT_CHAR,      // a typed character: code is its character code
    PLATFORM_EVENT_KEY_DOWN,  // a key without a character: code is its key code
    PLATFORM_EVENT_CLOSE,     // the window manager's close request
};
enum {
    PLATFORM_BUTTON_LEFT = 0,
    PLATFORM_BUTTON_RIGHT = 1,
    PLATFORM_BUTTON_MIDDLE = 2,
};
// Key codes of keys without characters, as the debug overlay knows them.
enum {
    KEYCODE_BACKSPACE = 8,
    KEYCODE_LEFT = 37,
    KEYCODE_UP = 38,
    KEYCODE_RIGHT = 39,
    KEYCODE_DOWN = 40,
    KEYCODE_DELETE = 46,
    // Keys only the edit mode's transport listens to.
    KEYCODE_PAGE_UP = 33,
    KEYCODE_PAGE_DOWN = 34,
    KEYCODE_HOME = 36,
    KEYCODE_F1 = 112,
};

struct PlatformEvent {
    int type;
    int button; // PLATFORM_BUTTON_* for button events
    int code;   // character or key code
};

// Takes one waiting event off the queue; 0 when none waits.
int platformPollEvent(PlatformEvent *event);

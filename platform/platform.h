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

int platformWindowCreate(const char *title, int x, int y, int width, int height); // 1 on success

enum {
    PLATFORM_GL_OK = 0,
    PLATFORM_GL_NO_CONTEXT,   // the rendering context could not be created
    PLATFORM_GL_NOT_CURRENT,  // it could not be made current
    PLATFORM_GL_NO_EXTENSIONS // the extension loader failed
};
int platformGLCreate(void);

// Release steps, each answering 1 on success.
int platformGLMakeNoneCurrent(void);
int platformGLDeleteContext(void); // fails when no context exists
void platformWindowDestroy(void);

// Clears to (0.4, 0.5, 0.6), draws width x rows BGRA pixels (top row first)
// from the top-left corner of the window enlarged zoom times, and swaps.
void platformPresent(const uint32_t *pixels, int width, int rows, int zoom, int windowHeight);

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

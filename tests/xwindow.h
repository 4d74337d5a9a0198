// X11 helpers for the window tests, kept apart because Xlib's own "Screen"
// type clashes with the demo's.
#pragma once

#include <cstdint>
#include <vector>

struct XWindowInfo {
    bool found = false;
    int x = 0, y = 0, width = 0, height = 0, border = 0;
};

// The size of the X server's screen; false without a server.
bool xScreenSize(int *width, int *height);
// The top-level window with this title, if any.
XWindowInfo xFindWindow(const char *title);
// The screen's pixels (0x00RRGGBB) of a rectangle; empty on failure.
std::vector<uint32_t> xGrab(int x, int y, int width, int height);
// Pixels of the screen's rectangle (x, y, width, height) that differ from the
// picture (pictureWidth x pictureHeight words, the top byte ignored) enlarged
// zoom times by pixel repetition with its corner at screen (px, py), black
// around it; -1 when the screen cannot be read.
long xCountDiffering(int x, int y, int width, int height, const uint32_t *picture, int pictureWidth,
                     int pictureHeight, int px, int py, int zoom);
// Whether the pointer, where it stands, shows nothing (every pixel of its
// cursor image transparent).
bool xPointerHidden();
// Sends the window manager's close request to the window with this title.
bool xRequestClose(const char *title);
// Presses and releases a key (an X keysym, XK_space for one) over the window
// with this title, as a user at the keyboard does.
bool xPressKey(const char *title, unsigned long keysym);

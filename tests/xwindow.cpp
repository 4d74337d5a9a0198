// Finding, photographing and closing windows on the X server.
#include "xwindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

#include <cstring>

// A window can go between listing the root's children and asking for its
// name (Wine makes and drops helper windows all the time); Xlib's default
// handler would end the program for that. Such a window is simply not found.
static int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

static Display *openDisplay()
{
    XSetErrorHandler(ignoreXError);
    return XOpenDisplay(nullptr);
}

static Window findByTitle(Display *display, const char *title)
{
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; i++) {
            char *name = nullptr;
            if (XFetchName(display, children[i], &name) && name) {
                if (!strcmp(name, title))
                    found = children[i];
                XFree(name);
            }
        }
        XFree(children);
    }
    return found;
}

bool xScreenSize(int *width, int *height)
{
    Display *display = openDisplay();
    if (!display)
        return false;
    *width = DisplayWidth(display, DefaultScreen(display));
    *height = DisplayHeight(display, DefaultScreen(display));
    XCloseDisplay(display);
    return true;
}

XWindowInfo xFindWindow(const char *title)
{
    XWindowInfo info;
    Display *display = openDisplay();
    if (!display)
        return info;
    Window window = findByTitle(display, title);
    XWindowAttributes attributes;
    if (window && XGetWindowAttributes(display, window, &attributes)) {
        info.found = attributes.map_state == IsViewable;
        info.x = attributes.x;
        info.y = attributes.y;
        info.width = attributes.width;
        info.height = attributes.height;
        info.border = attributes.border_width;
    }
    XCloseDisplay(display);
    return info;
}

std::vector<uint32_t> xGrab(int x, int y, int width, int height)
{
    std::vector<uint32_t> pixels;
    Display *display = openDisplay();
    if (!display)
        return pixels;
    XSync(display, False);
    XImage *image = XGetImage(display, DefaultRootWindow(display), x, y, (unsigned)width, (unsigned)height,
                              AllPlanes, ZPixmap);
    if (image) {
        pixels.resize((size_t)width * (size_t)height);
        for (int row = 0; row < height; row++) {
            for (int col = 0; col < width; col++)
                pixels[(size_t)row * width + col] = (uint32_t)XGetPixel(image, col, row) & 0xFFFFFFu;
        }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return pixels;
}

long xCountDiffering(int x, int y, int width, int height, const uint32_t *picture, int pictureWidth,
                     int pictureHeight, int px, int py, int zoom)
{
    std::vector<uint32_t> shot = xGrab(x, y, width, height);
    if (shot.empty())
        return -1;
    long count = 0;
    for (int row = 0; row < height; row++) {
        for (int col = 0; col < width; col++) {
            const int u = x + col - px, v = y + row - py;
            const bool inside = u >= 0 && v >= 0 && u < pictureWidth * zoom && v < pictureHeight * zoom;
            const uint32_t want = inside ? picture[(size_t)(v / zoom) * pictureWidth + u / zoom] & 0xFFFFFFu : 0;
            count += shot[(size_t)row * width + col] != want;
        }
    }
    return count;
}

bool xPointerHidden()
{
    Display *display = openDisplay();
    if (!display)
        return false;
    bool hidden = false;
    XFixesCursorImage *cursor = XFixesGetCursorImage(display);
    if (cursor) {
        hidden = true;
        for (int i = 0; i < cursor->width * cursor->height; i++)
            hidden = hidden && (cursor->pixels[i] >> 24) == 0;
        XFree(cursor);
    }
    XCloseDisplay(display);
    return hidden;
}

bool xRequestClose(const char *title)
{
    Display *display = openDisplay();
    if (!display)
        return false;
    Window window = findByTitle(display, title);
    if (window) {
        XEvent event;
        memset(&event, 0, sizeof event);
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }
    XCloseDisplay(display);
    return window != 0;
}

bool xPressKey(const char *title, unsigned long keysym)
{
    Display *display = openDisplay();
    if (!display)
        return false;
    Window window = findByTitle(display, title);
    KeyCode code = XKeysymToKeycode(display, (KeySym)keysym);
    bool pressed = false;
    if (window && code) {
        // Keys go to the window under the pointer, as the server focuses it.
        XWindowAttributes attributes;
        XGetWindowAttributes(display, window, &attributes);
        XTestFakeMotionEvent(display, -1, attributes.x + attributes.width / 2, attributes.y + attributes.height / 2,
                             CurrentTime);
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        // A symbol on the key's second level ("_" on the minus key) needs Shift.
        KeyCode shift = XkbKeycodeToKeysym(display, code, 0, 0) == (KeySym)keysym ? 0 : XKeysymToKeycode(display, XK_Shift_L);
        if (shift)
            XTestFakeKeyEvent(display, shift, True, CurrentTime);
        pressed = XTestFakeKeyEvent(display, code, True, CurrentTime) && XTestFakeKeyEvent(display, code, False, CurrentTime);
        if (shift)
            XTestFakeKeyEvent(display, shift, False, CurrentTime);
        XSync(display, False);
    }
    XCloseDisplay(display);
    return pressed;
}

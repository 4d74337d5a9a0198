// The screen: frame buffers, window and GL context, window messages, and the
// per-frame update that presents the picture.
#include "host/screen.h"

#include <algorithm> // Required for: std::fill_n(), std::min(), std::max()
#include <cstdio>
#include <cstdlib>

#include "cvar/cvar.h"
#include "host/capture.h"
#include "core/common.h"
#include "host/hostvars.h"
#include "host/timer.h"
#include "platform/platform.h"

enum {
    SCREEN_EXIT_CODE = 10,
    SCREEN_USAGE_CODE = 2,  // a display the desktop does not have, as any bad option
    PACE_MEASURE_FRAMES = 30, // presentations timed before deciding whether the loop must wait itself
};

static Screen screen;
static int screenCreated;
static int screenQuit;      // set by the first close request, never cleared
static int screenOffline;
static int screenUpdates;   // screen updates so far; the first closes no timing sample
static int screenKeyIsChar; // the last key came from a character message
static uint32_t screenOverlay[FRAME_WIDTH * PICTURE_ROWS]; // the picture with the console drawn over it
static void (*screenKeyListener)(int type, int code);
static void (*screenOverlayDraw)(uint32_t *picture, int width, int height);
static const char *const screenTitle = "Rendering Window";
static ScreenDisplay screenDisplay;     // zero-filled: the plain run's window
static ScreenPlacement screenPlacement; // where the window went

// Frame pacing. A swap that waits for the display's refresh paces the loop by
// itself; where it returns at once (no vertical sync: software GL, some
// drivers and servers) the loop would spin a core, so presentation then waits
// for the next refresh on the steady clock.
static struct {
    int32_t pacing;   // the swap was found not to wait: presentation waits itself
    int32_t measured; // presentations in the running measurement
    uint64_t since;   // counter at the first of them
    uint64_t period;  // one refresh in counter ticks
    uint64_t last;    // the refresh the last paced presentation waited for
} screenPace;

void screenSetOffline(int offline)
{
    screenOffline = offline;
}

void screenSetDisplay(const ScreenDisplay *display)
{
    screenDisplay = *display;
}

int screenFitZoom(int width, int height)
{
    return std::max(1, std::min(width / FRAME_WIDTH, height / PICTURE_ROWS));
}

void screenPlace(const ScreenDisplay *request, int displayX, int displayY, int displayWidth, int displayHeight,
                 ScreenPlacement *out)
{
    *out = ScreenPlacement();
    if (request->mode == SCREEN_FULLSCREEN) {
        out->x = displayX;
        out->y = displayY;
        out->width = displayWidth;
        out->height = displayHeight;
        out->zoom = screenFitZoom(displayWidth, displayHeight);
        return;
    }
    int zoom = request->zoom > 0 ? request->zoom : SCREEN_ZOOM;
    int fit = screenFitZoom(displayWidth, displayHeight);
    if (zoom > fit) {
        zoom = fit;
        out->fitted = 1;
    }
    out->zoom = zoom;
    out->width = FRAME_WIDTH * zoom;
    out->height = PICTURE_ROWS * zoom;
    // The plain run's corner, moved up and left only as far as the display needs.
    out->x = displayX + std::max(0, std::min((int)SCREEN_WINDOW_X, displayWidth - out->width));
    out->y = displayY + std::max(0, std::min((int)SCREEN_WINDOW_Y, displayHeight - out->height));
}

int screenInit(Screen *s)
{
    s->width = FRAME_WIDTH;
    s->height = FRAME_HEIGHT;
    // Cleared as they are taken (calloc would leave the pages to the first
    // effect that draws into them, and the memory would grow mid-show).
    s->block0 = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, sizeof(uint32_t));
    s->block1 = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, sizeof(uint32_t));
    s->block2 = (uint32_t *)allocAligned(FRAME_BLOCK_PIXELS, sizeof(uint32_t));
    if (!s->block0 || !s->block1 || !s->block2)
        return 0;
    // Each frame starts after the 32 guard rows of its block.
    s->buffer0 = s->block0 + FRAME_GUARD_PIXELS;
    s->buffer1 = s->block1 + FRAME_GUARD_PIXELS;
    s->buffer2 = s->block2 + FRAME_GUARD_PIXELS;
    s->pitch = FRAME_PITCH;
    s->bytesPerPixel = 4;

    Texture *views[3] = {&s->texture0, &s->texture1, &s->texture2};
    uint32_t *buffers[3] = {s->buffer0, s->buffer1, s->buffer2};
    for (int i = 0; i < 3; i++) {
        Bitmap *bitmap = (Bitmap *)calloc(1, sizeof(Bitmap));
        if (!bitmap)
            return 0;
        bitmap->width = FRAME_WIDTH;
        bitmap->height = FRAME_HEIGHT;
        bitmap->format = BITMAP_RGB32;
        bitmap->pixels = buffers[i];
        views[i]->bitmap = bitmap;
    }
    return 1;
}

static void screenFailGL(const char *text)
{
    screenDestroy();
    platformMessageBox(text, "ERROR", MSGBOX_EXCLAMATION);
    // Drawing on into a window without a context would show nothing; stop.
    exit(SCREEN_EXIT_CODE);
}

Screen *screenCreate(void)
{
    if (screenCreated)
        return nullptr;
    screenInit(&screen);
    consoleUse(&screen.console);
    if (screenOffline) {
        screenCreated = 1;
        return &screen;
    }

    char why[512];
    if (!platformVideoInit(why, sizeof why)) {
        printf("Cannot open the window: %s.\n"
               "Without a display the show can still be rendered offline: run with --video FILE for a video\n"
               "or with --capture DIR for PNG frames.\n",
               why);
        exit(SCREEN_EXIT_CODE);
    }
    int display = screenDisplay.display;
    int displays = platformDisplayCount();
    if (display > 0 && display >= displays) {
        fprintf(stderr, "vantorel: --display %d: the desktop has %d display%s, numbered from 0\n", display, displays,
                displays == 1 ? "" : "s");
        exit(SCREEN_USAGE_CODE);
    }
    // A display that does not tell its bounds gets the plain window as it is.
    int dx = 0, dy = 0, dw = SCREEN_WINDOW_X + SCREEN_WINDOW_WIDTH, dh = SCREEN_WINDOW_Y + SCREEN_WINDOW_HEIGHT;
    platformDisplayBounds(display, &dx, &dy, &dw, &dh);
    screenPlace(&screenDisplay, dx, dy, dw, dh, &screenPlacement);
    if (screenPlacement.fitted)
        fprintf(stderr, "The display is %d x %d: the picture is shown %d times enlarged in a %d x %d window%s.\n", dw,
                dh, screenPlacement.zoom, screenPlacement.width, screenPlacement.height,
                screenDisplay.zoom ? "" : " (--fullscreen fills the display)");
    if (!platformWindowCreate(screenTitle, screenPlacement.x, screenPlacement.y, screenPlacement.width,
                              screenPlacement.height,
                              screenDisplay.mode == SCREEN_FULLSCREEN ? PLATFORM_WINDOW_FULLSCREEN : 0)) {
        platformMessageBox("Failed to create the device context", "Error", MSGBOX_EXCLAMATION);
        printf("Error initializing EGL context...\n");
        screenDestroy();
        return nullptr;
    }
    switch (platformGLCreate()) {
    case PLATFORM_GL_NO_CONTEXT: screenFailGL("Can't Create A GL Rendering Context."); break;
    case PLATFORM_GL_NOT_CURRENT: screenFailGL("Can't Activate The GL Rendering Context."); break;
    case PLATFORM_GL_NO_EXTENSIONS: screenFailGL("Failed to initialize GLEW."); break;
    default: break;
    }
    if (screenDisplay.mode == SCREEN_FULLSCREEN)
        platformShowPointer(0);
    platformGLSetVsync(!screenDisplay.noVsync);
    int refresh = platformWindowRefresh();
    screenPace = {};
    screenPace.period = platformFrequency() / (uint64_t)(refresh > 0 ? refresh : SCREEN_REFRESH_GUESS);
    screenCreated = 1;
    return &screen;
}

void screenDestroy(void)
{
    if (!platformGLMakeNoneCurrent())
        platformMessageBox("Release Of DC And RC Failed.", "SHUTDOWN ERROR", MSGBOX_INFORMATION);
    if (!platformGLDeleteContext())
        platformMessageBox("Release Rendering Context Failed.", "SHUTDOWN ERROR", MSGBOX_INFORMATION);
    platformWindowDestroy();
    screenCreated = 0;
}

void screenWndProc(const PlatformEvent *event)
{
    screen.key = 0;
    screenKeyIsChar = event->type == PLATFORM_EVENT_CHAR;
    switch (event->type) {
    case PLATFORM_EVENT_BUTTON_DOWN:
        screen.mouseButtons |= 1 << event->button;
        break;
    case PLATFORM_EVENT_BUTTON_UP:
        screen.mouseButtons &= ~(1 << event->button);
        break;
    case PLATFORM_EVENT_CHAR:
        screen.key = event->code;
        if (screenKeyListener)
            screenKeyListener(event->type, event->code);
        break;
    case PLATFORM_EVENT_KEY_DOWN:
        if (screenKeyListener)
            screenKeyListener(event->type, event->code);
        // Only the keys the debug overlay maps are kept.
        if (event->code == KEYCODE_BACKSPACE || (event->code >= KEYCODE_LEFT && event->code <= KEYCODE_DOWN) ||
            event->code == KEYCODE_DELETE)
            screen.key = event->code;
        break;
    case PLATFORM_EVENT_CLOSE:
        screenQuit = 1;
        break;
    default:
        break;
    }
}

// The picture's place in the drawable: the window's enlargement (in full
// screen the largest that fits), centred, the top-left corner when it does
// not fit.
static void screenView(PlatformView *view)
{
    int width = 0, height = 0;
    platformWindowSize(&width, &height);
    if (width <= 0 || height <= 0) {
        width = screenPlacement.width;
        height = screenPlacement.height;
    }
    bool full = screenDisplay.mode == SCREEN_FULLSCREEN;
    *view = PlatformView();
    view->zoom = full ? screenFitZoom(width, height) : screenPlacement.zoom;
    view->x = std::max(0, (width - FRAME_WIDTH * view->zoom) / 2);
    view->y = std::max(0, (height - PICTURE_ROWS * view->zoom) / 2);
    view->drawableHeight = height;
    // Full screen borders are black; the window's clear colour is the
    // classic one, which the picture covers.
    if (!full) {
        view->border[0] = 0.4f;
        view->border[1] = 0.5f;
        view->border[2] = 0.6f;
    }
}

// After each presentation: time the first ones, and where the swap did not
// wait for the refresh, wait for it here.
static void screenPaceFrame(void)
{
    if (screenDisplay.noVsync)
        return;
    uint64_t now = platformCounter();
    if (!screenPace.pacing) {
        if (screenPace.measured++ == 0) {
            screenPace.since = now;
            return;
        }
        if (screenPace.measured <= PACE_MEASURE_FRAMES)
            return;
        // Frames at least nearly a refresh apart are held by the swap (or by
        // their own work): nothing to do, but look again, for the work can
        // become lighter.
        uint64_t took = now - screenPace.since;
        screenPace.measured = 0;
        if (took >= (uint64_t)PACE_MEASURE_FRAMES * screenPace.period * 4 / 5)
            return;
        screenPace.pacing = 1;
        screenPace.last = now;
        return;
    }
    uint64_t next = screenPace.last + screenPace.period;
    if (next <= now) {
        screenPace.last = now; // late: no wait, and the next refresh counts from here
        return;
    }
    platformSleepUntil(next);
    screenPace.last = next;
}

int screenPresent(void)
{
    const uint32_t *picture = screen.buffer0 + PICTURE_OFFSET_PIXELS;
    if (screenOffline)
        return capturePresent(picture) && !screenQuit;

    PlatformEvent event;
    if (platformPollEvent(&event))
        screenWndProc(&event);
    else
        screen.key = 0; // an idle frame's message is the redraw request: no key

    // The console is drawn over a copy: frame buffer 0 stays the picture.
    if (screen.console.visible || screenOverlayDraw) {
        std::copy_n(picture, FRAME_WIDTH * PICTURE_ROWS, screenOverlay);
        if (screenOverlayDraw)
            screenOverlayDraw(screenOverlay, FRAME_WIDTH, PICTURE_ROWS);
        consoleDraw(screenOverlay, FRAME_WIDTH, PICTURE_ROWS, truncInt(env_console_lines.value));
        picture = screenOverlay;
    }
    PlatformView view;
    screenView(&view);
    platformPresent(picture, FRAME_WIDTH, PICTURE_ROWS, &view);
    screenPaceFrame();
    return !screenQuit;
}

int screenUpdate(void)
{
    if (!screenCreated)
        return 0;
    if (env_interval.value == 0.0f)
        CvarSet("env_interval", "1");
    if (screenUpdates++ > 0)
        timerEndFrame();
    int goOn = screenPresent();
    // The console takes characters, and backspace, which comes only as a key;
    // the other key codes (delete is 46, the code of ".") are the overlay's.
    consoleKey(screenKeyIsChar || screen.key == KEYCODE_BACKSPACE ? screen.key : 0);
    timerBeginFrame();
    return goOn;
}

void screenSetKeyListener(void (*listener)(int type, int code))
{
    screenKeyListener = listener;
}

void screenSetOverlay(void (*draw)(uint32_t *picture, int width, int height))
{
    screenOverlayDraw = draw;
}

void screenClear(uint32_t colour)
{
    std::fill_n(screen.buffer0, FRAME_WIDTH * FRAME_HEIGHT, colour);
}

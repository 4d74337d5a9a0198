// The screen: frame buffers, window and GL context, window messages, and the
// per-frame update that presents the picture.
#include "host/screen.h"

#include <algorithm> // Required for: std::fill_n()
#include <cstdio>
#include <cstdlib>

#include "cvar/cvar.h"
#include "host/capture.h"
#include "core/common.h"
#include "host/hostvars.h"
#include "host/timer.h"
#include "platform/platform.h"

enum { SCREEN_EXIT_CODE = 10 };

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

void screenSetOffline(int offline)
{
    screenOffline = offline;
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
    if (!platformWindowCreate(screenTitle, SCREEN_WINDOW_X, SCREEN_WINDOW_Y, SCREEN_WINDOW_WIDTH,
                              SCREEN_WINDOW_HEIGHT)) {
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
    platformPresent(picture, FRAME_WIDTH, PICTURE_ROWS, SCREEN_ZOOM, SCREEN_WINDOW_HEIGHT);
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

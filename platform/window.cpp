// The window, its OpenGL context, window events and the pixel-zoomed
// presentation, on SDL2 with GLEW (on Windows, SDL's GL loader).
#ifdef _WIN32
#include <SDL.h>
#include <SDL_opengl.h> // Windows' own GL is 1.1: later entries come through SDL_GL_GetProcAddress()
#else
#include <GL/glew.h> // must precede any other GL header

#include <SDL.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h> // Required for: strcasecmp()

#include "platform/platform.h"

static SDL_Window *platformWindow;
static SDL_GLContext platformContext;
static int platformVideoReady;
#ifdef _WIN32
static PFNGLWINDOWPOS2IPROC glWindowPos2i;
#endif

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------

void platformMessageBox(const char *text, const char *caption, unsigned flags)
{
    printf("%s: %s\n", caption, text);
    fflush(stdout);
    if (!platformVideoReady)
        return;
    Uint32 kind = (flags & 0xF0) == MSGBOX_INFORMATION ? SDL_MESSAGEBOX_INFORMATION : SDL_MESSAGEBOX_WARNING;
    SDL_ShowSimpleMessageBox(kind, caption, text, platformWindow);
}

// ---------------------------------------------------------------------------
// Video system and window
// ---------------------------------------------------------------------------

int platformVideoInit(char *why, size_t whySize)
{
    const char *asked = getenv("SDL_VIDEODRIVER");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        snprintf(why, whySize, "the video system could not start (%s)", SDL_GetError());
        return 0;
    }
    // Without a display server SDL quietly picks a driver that shows nothing;
    // running blind is no use unless the user chose that driver.
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver || ((!strcmp(driver, "offscreen") || !strcmp(driver, "dummy")) &&
                    !(asked && !strcasecmp(asked, driver)))) {
        snprintf(why, whySize, "no display server is reachable (video driver \"%s\")", driver ? driver : "none");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return 0;
    }

    // Motion, wheel and key-up events would queue faster than one message per
    // frame is taken off, delaying a close request behind them.
    static const Uint32 ignored[] = {SDL_MOUSEMOTION, SDL_MOUSEWHEEL, SDL_KEYUP, SDL_TEXTEDITING,
                                     SDL_FINGERMOTION, SDL_FINGERDOWN, SDL_FINGERUP, SDL_KEYMAPCHANGED};
    for (Uint32 type : ignored)
        SDL_EventState(type, SDL_IGNORE);
    SDL_StartTextInput();
    platformVideoReady = 1;
    return 1;
}

int platformDisplayCount(void)
{
    int count = SDL_GetNumVideoDisplays();
    return count > 0 ? count : 0;
}

int platformDisplayBounds(int display, int *x, int *y, int *width, int *height)
{
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(display, &bounds) != 0)
        return 0;
    *x = bounds.x;
    *y = bounds.y;
    *width = bounds.w;
    *height = bounds.h;
    return 1;
}

int platformWindowCreate(const char *title, int x, int y, int width, int height, unsigned flags)
{
    // 32-bit colour without alpha, 16-bit depth, double buffered.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    Uint32 sdlFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN;
    if (flags & PLATFORM_WINDOW_FULLSCREEN)
        sdlFlags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    platformWindow = SDL_CreateWindow(title, x, y, width, height, sdlFlags);
    if (!platformWindow) {
        printf("SDL: %s\n", SDL_GetError());
        return 0;
    }
    return 1;
}

int platformGLCreate(void)
{
    platformContext = SDL_GL_CreateContext(platformWindow);
    if (!platformContext)
        return PLATFORM_GL_NO_CONTEXT;
    if (SDL_GL_MakeCurrent(platformWindow, platformContext) != 0)
        return PLATFORM_GL_NOT_CURRENT;
#ifdef _WIN32
    glWindowPos2i = (PFNGLWINDOWPOS2IPROC)SDL_GL_GetProcAddress("glWindowPos2i");
    if (!glWindowPos2i)
        return PLATFORM_GL_NO_EXTENSIONS;
#else
    GLenum status = glewInit();
    // GLEW 2.2 reports a missing GLX display on EGL contexts although every
    // entry point loaded; what presentation needs decides.
    if (status == GLEW_ERROR_NO_GLX_DISPLAY && glWindowPos2i)
        status = GLEW_OK;
    if (status != GLEW_OK || !glWindowPos2i)
        return PLATFORM_GL_NO_EXTENSIONS;
#endif
    return PLATFORM_GL_OK;
}

void platformWindowSize(int *width, int *height)
{
    *width = *height = 0;
    if (platformWindow)
        SDL_GL_GetDrawableSize(platformWindow, width, height);
}

int platformWindowRefresh(void)
{
    SDL_DisplayMode mode;
    if (!platformWindow || SDL_GetWindowDisplayMode(platformWindow, &mode) != 0)
        return 0;
    return mode.refresh_rate > 0 ? mode.refresh_rate : 0;
}

void platformShowPointer(int show)
{
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

int platformGLSetVsync(int on)
{
    return SDL_GL_SetSwapInterval(on ? 1 : 0) == 0;
}

int platformGLMakeNoneCurrent(void)
{
    if (!platformWindow)
        return 1;
    return SDL_GL_MakeCurrent(platformWindow, nullptr) == 0;
}

int platformGLDeleteContext(void)
{
    if (!platformContext)
        return 0;
    SDL_GL_DeleteContext(platformContext);
    platformContext = nullptr;
    return 1;
}

void platformWindowDestroy(void)
{
    if (platformWindow)
        SDL_DestroyWindow(platformWindow);
    platformWindow = nullptr;
}

// ---------------------------------------------------------------------------
// Presentation
// ---------------------------------------------------------------------------

void platformPresent(const uint32_t *pixels, int width, int rows, const PlatformView *view)
{
    glClearColor(view->border[0], view->border[1], view->border[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // Raster position at the picture's top-left corner (GL counts rows from
    // the bottom) and a negative vertical zoom, so that the first row of the
    // picture is drawn at the top, downward. Whole zoom factors at whole
    // positions repeat every pixel exactly zoom x zoom times.
    glWindowPos2i(view->x, view->drawableHeight - view->y);
    glPixelZoom((float)view->zoom, (float)-view->zoom);
    glDrawPixels(width, rows, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    glPixelZoom(1.0f, 1.0f);
    SDL_GL_SwapWindow(platformWindow);
}

// ---------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------

static int platformButton(Uint8 sdlButton)
{
    switch (sdlButton) {
    case SDL_BUTTON_LEFT: return PLATFORM_BUTTON_LEFT;
    case SDL_BUTTON_RIGHT: return PLATFORM_BUTTON_RIGHT;
    case SDL_BUTTON_MIDDLE: return PLATFORM_BUTTON_MIDDLE;
    default: return -1;
    }
}

// Keys that give a character message of their own on key-down, and the keys
// without characters that the overlay knows; everything else is a plain key.
static void platformTranslateKey(const SDL_KeyboardEvent *key, PlatformEvent *event)
{
    event->type = PLATFORM_EVENT_KEY_DOWN;
    switch (key->keysym.sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: event->type = PLATFORM_EVENT_CHAR; event->code = 13; break;
    case SDLK_TAB: event->type = PLATFORM_EVENT_CHAR; event->code = 9; break;
    case SDLK_BACKSPACE: event->code = KEYCODE_BACKSPACE; break;
    case SDLK_LEFT: event->code = KEYCODE_LEFT; break;
    case SDLK_UP: event->code = KEYCODE_UP; break;
    case SDLK_RIGHT: event->code = KEYCODE_RIGHT; break;
    case SDLK_DOWN: event->code = KEYCODE_DOWN; break;
    case SDLK_DELETE: event->code = KEYCODE_DELETE; break;
    case SDLK_PAGEUP: event->code = KEYCODE_PAGE_UP; break;
    case SDLK_PAGEDOWN: event->code = KEYCODE_PAGE_DOWN; break;
    case SDLK_HOME: event->code = KEYCODE_HOME; break;
    case SDLK_F1: event->code = KEYCODE_F1; break;
    default: event->code = 0; break;
    }
}

int platformPollEvent(PlatformEvent *event)
{
    SDL_Event e;
    if (!platformVideoReady || !SDL_PollEvent(&e))
        return 0;
    memset(event, 0, sizeof *event);
    event->type = PLATFORM_EVENT_OTHER;
    switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        event->button = platformButton(e.button.button);
        if (event->button >= 0)
            event->type = e.type == SDL_MOUSEBUTTONDOWN ? PLATFORM_EVENT_BUTTON_DOWN : PLATFORM_EVENT_BUTTON_UP;
        break;
    case SDL_TEXTINPUT:
        // One character per message; characters outside ASCII mean nothing here.
        if ((unsigned char)e.text.text[0] < 0x80 && e.text.text[0] && !e.text.text[1]) {
            event->type = PLATFORM_EVENT_CHAR;
            event->code = (unsigned char)e.text.text[0];
        }
        break;
    case SDL_KEYDOWN:
        platformTranslateKey(&e.key, event);
        break;
    case SDL_QUIT:
        event->type = PLATFORM_EVENT_CLOSE;
        break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE)
            event->type = PLATFORM_EVENT_CLOSE;
        break;
    default:
        break;
    }
    return 1;
}

// The edit mode's frame loop, transport, status line and control commands.
#include "host/edit.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/common.h"
#include "cvar/cvar.h"
#include "fx/fx.h"
#include "host/capture.h"
#include "host/control.h"
#include "host/host.h"
#include "host/hostvars.h"
#include "host/music.h"
#include "host/preroll.h"
#include "host/reload.h"
#include "host/screen.h"
#include "platform/platform.h"
#include "sync/sync.h"

enum {
    PAUSED_SLEEP_MS = 5,      // a held picture needs no busy loop
    RELOAD_POLL_MS = 100,     // how often the watched files are looked at
    MESSAGE_SECONDS = 2,      // how long a message stands in the status line
};

struct EditState {
    Screen *screen;
    FrameGrid grid;       // the 60 fps grid of a run from the start
    int64_t lastFrame;    // the grid frame at the end of the music
    int64_t frame;        // the grid frame shown, or -1 when the picture came from the playing music
    double time;          // music time of the picture shown
    int paused;
    int looping;
    double loopStart, loopEnd; // loopEnd > loopStart once both are set
    int statusHidden;
    int quit;
    int pendingType, pendingCode; // a key the listener took, for the loop to act on
    double fps;
    int fpsFrames;
    uint64_t fpsSince;
    char message[64];
    uint64_t messageSince;
    uint32_t assignments; // cvarAssignments when the kept states were last good
    uint64_t reloadSince; // the last look at the watched files
};
static EditState edit;

// ---------------------------------------------------------------------------
// Drawing and seeking
// ---------------------------------------------------------------------------

static void editSay(const char *text)
{
    snprintf(edit.message, sizeof edit.message, "%s", text);
    edit.messageSince = platformCounter();
}

static void editDrawGridFrame(int64_t frame)
{
    double t = gridTime(&edit.grid, frame);
    FrameRequest request = {musicPositionAt(t), t, edit.screen->mouseButtons, 0, 1};
    hostDrawFrameAt(edit.screen, &request);
    edit.frame = frame;
    edit.time = t;
    edit.fpsFrames++;
}

static int64_t editFrameNear(double seconds)
{
    double j = std::isfinite(seconds) ? std::nearbyint(seconds * EDIT_FPS) : 0.0;
    return (int64_t)std::clamp(j, 0.0, (double)edit.lastFrame);
}

// The picture of grid frame `frame`, exactly as a run from the start at 60
// fps draws it, with the music there.
static void editSeekFrame(int64_t frame)
{
    frame = std::clamp<int64_t>(frame, 0, edit.lastFrame);
    musicSeek(gridTime(&edit.grid, frame));
    PrerollReport report;
    prerollTo(edit.screen, &edit.grid, frame, edit.lastFrame + 1, &report);
    editDrawGridFrame(frame);
}

// Values the console held against their tracks while paused go when the
// show moves on. The states kept meanwhile were replayed with them: they go
// too. Returns whether there were any.
static bool editReleaseHolds(void)
{
    if (!syncReleaseVariables())
        return false;
    prerollForget();
    return true;
}

// The console's answer for a variable that tracks drive, set by hand.
static int editHold(Cvar *cvar)
{
    return edit.paused && syncHoldVariable(cvar);
}

static void editSeek(double seconds)
{
    editReleaseHolds();
    editSeekFrame(editFrameNear(seconds));
}

// Where the show stands: the music while it plays, else the picture.
static double editNow(void)
{
    return edit.paused ? edit.time : musicPosition();
}

static void editPause(int paused)
{
    // Playing on from a frame drawn with held values would carry them into
    // the frames after it: the frame is drawn again as the tracks have it.
    if (!paused && edit.paused && editReleaseHolds())
        editSeekFrame(edit.frame >= 0 ? edit.frame : editFrameNear(edit.time));
    edit.paused = paused;
    musicPause(paused);
}

// n frames on from the picture shown (back when negative), paused.
static void editStep(int64_t n)
{
    editPause(1);
    const bool released = editReleaseHolds(); // the frame shown had held values: its state is not the show's
    // A picture of the playing music lies between two grid frames.
    int64_t from = edit.frame >= 0 ? edit.frame
                                   : (int64_t)(n > 0 ? std::floor(edit.time * EDIT_FPS) : std::ceil(edit.time * EDIT_FPS));
    int64_t to = std::clamp<int64_t>(from + n, 0, edit.lastFrame);
    if (!released && edit.frame >= 0 && to == edit.frame + 1) {
        // The state after a grid frame is the one the next grid frame needs.
        musicSeek(gridTime(&edit.grid, to));
        editDrawGridFrame(to);
    } else if (released || to != edit.frame) {
        editSeekFrame(to);
    }
}

// A change to the show: the kept states no longer hold, and a held picture
// is drawn again as it now is.
static void editShowChanged(void)
{
    edit.assignments = cvarAssignments;
    prerollForget();
    if (edit.paused)
        editSeekFrame(edit.frame >= 0 ? edit.frame : editFrameNear(edit.time));
}

// ---------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------

static void editKeyListener(int type, int code)
{
    edit.pendingType = type;
    edit.pendingCode = code;
}

static void editToggleLoop(void)
{
    if (!(edit.loopEnd > edit.loopStart)) {
        editSay("set the loop with [ and ] first");
        return;
    }
    edit.looping = !edit.looping;
    editSay(edit.looping ? "loop on" : "loop off");
}

static void editKey(int type, int code)
{
    if (edit.screen->console.visible) {
        // Typing, not steering: the arrows walk the console's history, the
        // page keys its scrollback.
        if (type == PLATFORM_EVENT_KEY_DOWN) {
            switch (code) {
            case KEYCODE_UP: consoleHistory(-1); break;
            case KEYCODE_DOWN: consoleHistory(1); break;
            case KEYCODE_PAGE_UP: consoleScrollPages(1); break;
            case KEYCODE_PAGE_DOWN: consoleScrollPages(-1); break;
            default: break;
            }
        }
        return;
    }
    if (type == PLATFORM_EVENT_KEY_DOWN) {
        switch (code) {
        case KEYCODE_LEFT: editSeek(editNow() - 1.0); break;
        case KEYCODE_RIGHT: editSeek(editNow() + 1.0); break;
        case KEYCODE_PAGE_UP: editSeek(editNow() - 10.0); break;
        case KEYCODE_PAGE_DOWN: editSeek(editNow() + 10.0); break;
        case KEYCODE_HOME: editSeek(0.0); break;
        case KEYCODE_F1: edit.statusHidden = !edit.statusHidden; break;
        default: break;
        }
        return;
    }
    switch (code) {
    case ' ': editPause(!edit.paused); break;
    case '.':
        if (edit.paused)
            editStep(1);
        break;
    case ',':
        if (edit.paused)
            editStep(-1);
        break;
    case '[':
        edit.loopStart = gridTime(&edit.grid, editFrameNear(editNow()));
        editSay("loop start set");
        break;
    case ']':
        edit.loopEnd = gridTime(&edit.grid, editFrameNear(editNow()));
        editSay("loop end set");
        break;
    case 'l':
    case 'L': editToggleLoop(); break;
    default: break;
    }
}

// ---------------------------------------------------------------------------
// Status line
// ---------------------------------------------------------------------------

static const char *editEffectName(void)
{
    int foreground = hostForegroundIndex();
    return foreground >= 0 ? fxEffects[fxForegroundOrder[foreground]].name : "none";
}

static void editStatusOverlay(uint32_t *picture, int width, int height)
{
    if (edit.statusHidden)
        return;
    char line[96];
    if (edit.message[0] && platformSecondsSince(edit.messageSince) < MESSAGE_SECONDS) {
        snprintf(line, sizeof line, "%s", edit.message);
    } else {
        // At most 52 characters, what the picture's width holds:
        // "179.98 r4080 fx5 particles 60fps > L170.5-179.9". A capital L
        // when the loop is on.
        char loop[32] = "", speed[16] = "paused";
        if (edit.loopEnd > edit.loopStart)
            snprintf(loop, sizeof loop, " %c%.1f-%.1f", edit.looping ? 'L' : 'l', edit.loopStart, edit.loopEnd);
        if (!edit.paused)
            snprintf(speed, sizeof speed, "%.0ffps >", edit.fps);
        snprintf(line, sizeof line, "%6.2f r%-4.0f fx%d %s %s%s", edit.time, edit.time * ROWS_PER_SECOND,
                 hostForegroundIndex(), editEffectName(), speed, loop);
    }
    consoleDrawStatus(picture, width, height, line);
}

// ---------------------------------------------------------------------------
// Hot reload
// ---------------------------------------------------------------------------

// Takes the watched files that changed (all of them when forced); the show
// then is another one.
static int editReload(int force)
{
    edit.reloadSince = platformCounter();
    char said[sizeof edit.message] = "";
    int taken = reloadPoll(force, said, sizeof said);
    if (said[0])
        editSay(said);
    if (taken)
        editShowChanged();
    return taken;
}

// ---------------------------------------------------------------------------
// Control commands
// ---------------------------------------------------------------------------

static bool editIsTracked(const Cvar *cvar)
{
    Cvar *tracked[256];
    int n = std::min(hostTrackedList(tracked, 256), 256);
    return std::find(tracked, tracked + n, cvar) != tracked + n;
}

// A variable's value as it stands: one number, or the components.
static void editFormatValue(const Cvar *cvar, char *out, size_t size)
{
    if (cvar->kind == CVAR_FLOAT)
        snprintf(out, size, "%g", cvar->value);
    else
        snprintf(out, size, "%g %g %g %g", cvar->vec[0], cvar->vec[1], cvar->vec[2], cvar->vec[3]);
}

static void editSet(const ControlCommand *c, char *reply, size_t size)
{
    Cvar *cvar = CvarFind(c->name);
    if (!cvar) {
        snprintf(reply, size, "error no variable %s", c->name);
        return;
    }
    if (editIsTracked(cvar)) {
        snprintf(reply, size, "error %s follows its track: change the track instead", c->name);
        return;
    }
    int components = cvar->kind == CVAR_FLOAT ? 1 : 4;
    if (c->valueCount > components) {
        snprintf(reply, size, "error %s takes at most %d numbers", c->name, components);
        return;
    }
    if (cvar->kind == CVAR_FLOAT) {
        char text[32];
        snprintf(text, sizeof text, "%.9g", c->values[0]);
        CvarSet(cvar->name, text);
    } else {
        std::copy(c->values, c->values + c->valueCount, cvar->vec);
    }
    editShowChanged();
    char value[96];
    editFormatValue(cvar, value, sizeof value);
    snprintf(reply, size, "ok %s %s", cvar->name, value);
}

static void editStatus(char *reply, size_t size)
{
    char loop[64] = "off";
    if (edit.loopEnd > edit.loopStart)
        snprintf(loop, sizeof loop, "%.3f %.3f %s", edit.loopStart, edit.loopEnd, edit.looping ? "on" : "off");
    snprintf(reply, size, "ok time %.3f row %.2f fx %d %s paused %d loop %s", edit.time, edit.time * ROWS_PER_SECOND,
             hostForegroundIndex(), editEffectName(), edit.paused, loop);
}

static void editExecute(const ControlCommand *c, char *reply, size_t size)
{
    const double length = musicLength();
    switch (c->verb) {
    case CONTROL_STATUS: editStatus(reply, size); return;
    case CONTROL_SEEK:
        if (c->numbers[0] > length) {
            snprintf(reply, size, "error the music ends at %.3f s", length);
            return;
        }
        editSeek(c->numbers[0]);
        break;
    case CONTROL_PAUSE: editPause(1); snprintf(reply, size, "ok paused"); return;
    case CONTROL_PLAY: editPause(0); snprintf(reply, size, "ok playing"); return;
    case CONTROL_STEP: editStep((int64_t)c->numbers[0]); break;
    case CONTROL_LOOP:
        if (c->numbers[1] > length) {
            snprintf(reply, size, "error the music ends at %.3f s", length);
            return;
        }
        edit.loopStart = gridTime(&edit.grid, editFrameNear(c->numbers[0]));
        edit.loopEnd = gridTime(&edit.grid, editFrameNear(c->numbers[1]));
        edit.looping = edit.loopEnd > edit.loopStart;
        if (!edit.looping) {
            snprintf(reply, size, "error the loop is shorter than a frame");
            return;
        }
        snprintf(reply, size, "ok loop %.3f %.3f on", edit.loopStart, edit.loopEnd);
        return;
    case CONTROL_LOOP_OFF: edit.looping = 0; snprintf(reply, size, "ok loop off"); return;
    case CONTROL_GET: {
        const Cvar *cvar = CvarFind(c->name);
        if (!cvar) {
            snprintf(reply, size, "error no variable %s", c->name);
            return;
        }
        char value[96];
        editFormatValue(cvar, value, sizeof value);
        snprintf(reply, size, "ok %s %s", cvar->name, value);
        return;
    }
    case CONTROL_SET: editSet(c, reply, size); return;
    case CONTROL_SCREENSHOT:
        if (!captureWritePNG(c->file, edit.screen->buffer0 + PICTURE_OFFSET_PIXELS))
            snprintf(reply, size, "error cannot write %.900s: %s", c->file, strerror(errno ? errno : EIO));
        else
            snprintf(reply, size, "ok %.1000s", c->file);
        return;
    case CONTROL_QUIT: edit.quit = 1; snprintf(reply, size, "ok quit"); return;
    case CONTROL_RELOAD: snprintf(reply, size, "ok reloaded %d", editReload(1)); return;
    default: snprintf(reply, size, "error unknown command"); return;
    }
    snprintf(reply, size, "ok time %.3f", edit.time);
}

// ---------------------------------------------------------------------------
// The loop
// ---------------------------------------------------------------------------

// Seeks from the start to the end of the show once, so that a later seek
// anywhere finds a kept state at most a second before it.
static void editPrepare(void)
{
    uint64_t began = platformCounter();
    prerollKeepStates(edit.screen);
    PrerollReport report;
    prerollPrepare(edit.screen, &edit.grid, edit.lastFrame + 1, &report);
    fprintf(stderr, "Edit mode: seeks prepared in %.2f s (%lld frames replayed, %d states kept).\n",
            platformSecondsSince(began), (long long)report.replayed, prerollKeptStates());
}

int editRun(Screen *screen, const EditOptions *options)
{
    edit = EditState();
    edit.screen = screen;
    edit.grid = {0.0, (double)EDIT_FPS};
    edit.lastFrame = (int64_t)std::floor(musicLength() * EDIT_FPS);
    musicPause(1);
    editPrepare();
    edit.assignments = cvarAssignments;
    reloadWatch(hostSyncDevice());
    edit.reloadSince = platformCounter();
    controlOpen(options->controlPath);
    screenSetKeyListener(editKeyListener);
    screenSetOverlay(editStatusOverlay);
    consoleSetEditMode(1, editHold);

    editSeek(options->start);
    editPause(0);
    edit.fpsSince = platformCounter();
    int frames = 1;
    for (;;) {
        controlPoll(editExecute);
        if (edit.quit)
            break;
        if (edit.pendingType) {
            int type = edit.pendingType, code = edit.pendingCode;
            edit.pendingType = 0;
            editKey(type, code);
        }
        if (platformSecondsSince(edit.reloadSince) * 1000.0 >= RELOAD_POLL_MS)
            editReload(0);
        if (cvarAssignments != edit.assignments) // the console set a variable
            editShowChanged();
        if (!edit.paused) {
            double t = musicPosition();
            if (edit.looping && t >= edit.loopEnd) {
                editSeekFrame(editFrameNear(edit.loopStart));
            } else {
                FrameRequest request = {t, t, screen->mouseButtons, 0, 1};
                hostDrawFrameAt(screen, &request);
                edit.frame = -1;
                edit.time = t;
                edit.fpsFrames++;
            }
            frames++;
        }
        double since = platformSecondsSince(edit.fpsSince);
        if (since >= 1.0) {
            edit.fps = edit.fpsFrames / since;
            edit.fpsFrames = 0;
            edit.fpsSince = platformCounter();
        }
        if (!screenUpdate())
            break;
        if (edit.paused)
            platformSleep(PAUSED_SLEEP_MS);
    }
    consoleSetEditMode(0, nullptr);
    screenSetOverlay(nullptr);
    screenSetKeyListener(nullptr);
    controlClose();
    return frames;
}

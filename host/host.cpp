// The spine of the program: start-up in its fixed order, the frame loop that
// turns the music position into a picture, and shutdown.
#include "host/host.h"

#include <sys/stat.h> // Required for: stat(), to tell a missing asset tree
#include <unistd.h>   // Required for: getcwd(), access()

#include <algorithm>
#include <cerrno>
#include <csignal> // Required for: signal(SIGXFSZ)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/common.h"
#include "core/startup.h"
#include "core/tables.h"
#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "data/data.h"
#include "data/image.h"
#include "data/pack.h"
#include "fx/fx.h"
#include "fx/fxtables.h"
#include "fx/noise.h"
#include "host/bench.h"
#include "host/capture.h"
#include "host/edit.h"
#include "host/hostvars.h"
#include "host/music.h"
#include "host/options.h"
#include "host/preroll.h"
#include "host/quiet.h"
#include "host/screen.h"
#include "host/timer.h"
#include "host/video.h"
#include "platform/platform.h"
#include "post/filter.h"
#include "post/post.h"
#include "render/raster.h"
#include "render/view.h"
#include "sync/sync.h"

// Host state, alive until the process ends.
static HostSetup hostSetup;
static Screen *hostScreen;
static RenderView *hostView;
static SyncDevice *hostSync;
static EffectContext hostContext;
static const char HOST_LOGO_NAME[] = "backgrounds/morla/logo_composition2.png";
static Texture *logoImage;                 // blended over the intro
enum { GLITCH_SLOTS = 99 };
static Texture *glitchFrames[GLITCH_SLOTS]; // displacement pictures; slot 0 stays empty
static FrameReport hostFrameReport;

// The host's variables that tracks drive, in binding order.
static Cvar *const hostTracked[] = {
    &fx_idx, &fx_time, &post_brightnedd, &background_mode, &foreground_mode, &post_edgedetect,
    &post_edgedetect_factor, &post_edgedetect_additive, &post_aberration, &post_aberration_offset,
    &post_aberration_blur, &post_glow, &post_glow_color, &post_glow_threshold, &post_glow_blur_h,
    &post_glow_blur_v, &post_glow_lens, &post_glow_strength, &post_glitch_xstrength, &post_glitch_ystrength,
    &post_blur_h, &post_blur_v};

// ---------------------------------------------------------------------------
// Frame loop
// ---------------------------------------------------------------------------

int hostForegroundIndex(void)
{
    int index = truncInt(fx_idx.value);
    return index >= 0 && index < FX_FOREGROUNDS ? index : -1;
}

// The glitch pictures are displaced through in their smoothed form.
static void blurGlitchFrame(Texture *frame)
{
    imgBoxBlur(frame);
}

// The glitch picture of this moment: 25 slots a second, slot 0 (empty) once
// in every 99.
static const Texture *hostGlitchFrame(double demoSeconds)
{
    double ticks = demoSeconds < 0.0 ? demoTime(25.0f) : demoSeconds * 25.0f;
    int32_t k = truncInt(ticks) % GLITCH_SLOTS;
    return glitchFrames[k < 0 ? k + GLITCH_SLOTS : k];
}

void hostPlanPost(PostPlan *plan, float fxTime, double demoSeconds)
{
    postPlanFromVariables(plan);
    int foregroundMode = truncInt(foreground_mode.value);
    plan->layerAt = foregroundMode == 3 ? POST_LAYER_BEFORE : foregroundMode == 4 ? POST_LAYER_AFTER : POST_LAYER_NONE;
    plan->drawLayer = backimage_draw;

    // The logo fades in over the intro from fx_time 10 and holds at 0.85.
    if (hostForegroundIndex() == 2) {
        float a = (fxTime - 10.0f) * 0.2f;
        if (a > 0.85f)
            a = 0.85f;
        if (a > 0.0f)
            plan->logoAlpha = truncInt(a * 255.0f);
    }
    plan->logo = logoImage ? logoImage->bitmap : nullptr;
    plan->pickDisplacement = hostGlitchFrame;
    plan->demoSeconds = demoSeconds;
}

void hostPlanEveryPass(PostPlan *plan)
{
    postPlanEveryPass(plan);
    plan->displacement = glitchFrames[1]; // the first slot that holds a picture
    plan->logo = logoImage ? logoImage->bitmap : nullptr;
}

void hostDrawFrame(Screen *screen)
{
    FrameRequest request = {musicPosition(), -1.0, screen->mouseButtons, 0, 1};
    hostDrawFrameAt(screen, &request);
}

void hostDrawFrameAt(Screen *screen, const FrameRequest *request)
{
    double row = request->music * ROWS_PER_SECOND;
    syncUpdateVariables(row);
    float fxTime = fx_time.value;
    hostContext.mouseButtons = request->mouseButtons;
    // Effects sleep a little after their frames in live runs; not while replaying.
    void (*pause)(int) = hostContext.pause;
    if (request->replay)
        hostContext.pause = nullptr;
    hostContext.unseen = !request->post;

    int background = truncInt(background_mode.value);
    if (background == 1)
        screenClear(0);
    if (background == 2)
        fxEffects[FX_TUNNEL].render(&hostContext, screen->buffer2, fxTime);
    if (background == 3)
        backimage_draw(screen->buffer0, 0);

    int foreground = hostForegroundIndex();
    if (foreground >= 0)
        fxEffects[fxForegroundOrder[foreground]].render(&hostContext, screen->buffer0, fxTime);
    hostContext.pause = pause;
    hostContext.unseen = 0;
    int foregroundMode = truncInt(foreground_mode.value);
    hostFrameReport = {background, foreground, foregroundMode == 3 || foregroundMode == 4, 0.0};

    // Debug views: frame buffer 1 (right button) or 2 (middle button) is shown
    // as it is, without post chain or letterbox.
    if (request->mouseButtons & (MOUSE_RIGHT | MOUSE_MIDDLE)) {
        const uint32_t *shown = (request->mouseButtons & MOUSE_RIGHT) ? screen->buffer1 : screen->buffer2;
        std::copy_n(shown, FRAME_WIDTH * FRAME_HEIGHT, screen->buffer0);
        return;
    }
    if (!request->post) {
        postClearLetterbox(screen->buffer0); // every turn begins with clear bars
        return;
    }

    // The post chain, in its fixed order, on the picture of frame buffer 0.
    uint64_t postBegan = platformCounter();
    PostPlan plan;
    hostPlanPost(&plan, fxTime, request->demo);
    postRunChain(screen->buffer0, screen->buffer1, &plan);
    hostFrameReport.postSeconds = platformSecondsSince(postBegan);
}

void hostFrameCarry(CarryMap *map)
{
    // The same decisions as hostDrawFrameAt, in the same order.
    const EffectContext *ctx = &hostContext;
    float fxTime = fx_time.value;
    int background = truncInt(background_mode.value);
    if (background == 1)
        carryChange(map, CARRY_PICTURE, 0);
    if (background == 2)
        fxEffects[FX_TUNNEL].carry(ctx, map, fxTime);
    if (background == 3)
        backimage_carry(0, map);
    int foreground = hostForegroundIndex();
    if (foreground >= 0)
        fxEffects[fxForegroundOrder[foreground]].carry(ctx, map, fxTime);
    int foregroundMode = truncInt(foreground_mode.value);
    if (foregroundMode == 3)
        backimage_carry(2, map);
    PostPlan plan;
    postPlanFromVariables(&plan);
    // The passes, the logo, the bars.
    carryChange(map, CARRY_PICTURE, CARRY_PICTURE | (postPlanReadsPastBand(&plan) ? CARRY_SCRATCH1 : 0));
    if (foregroundMode == 4)
        backimage_carry(2, map);
}

const FrameReport *hostLastFrame(void)
{
    return &hostFrameReport;
}

// ---------------------------------------------------------------------------
// Start-up and shutdown
// ---------------------------------------------------------------------------

// Track files come through the data layer: from the asset tree in a
// development run, from the packs in a release run.
static void *hostTrackOpen(const char *name, const char *)
{
    return dataFileOpen(name);
}

static size_t hostTrackRead(void *dst, size_t size, size_t count, void *handle)
{
    if (size && count > (size_t)INT32_MAX / size)
        return 0;
    return (size_t)dataFileRead((DataFile *)handle, dst, (int32_t)(size * count));
}

static void hostTrackClose(void *handle)
{
    dataFileClose((DataFile *)handle);
}

static void hostBindTracks(void)
{
    hostSync = syncCreateDevice("sync");
    if (!hostSync)
        return;
    hostSync->open = hostTrackOpen;
    hostSync->read = hostTrackRead;
    hostSync->close = hostTrackClose;
    for (Cvar *cvar : hostTracked)
        syncBindVariable(hostSync, cvar);
    for (int g = 0; g < FX_BINDINGS; g++) {
        printf("%d\n", g + 1);
        const Effect *effect = &fxEffects[fxBindingOrder[g]];
        for (int i = 0; i < effect->tracked->count; i++)
            syncBindVariable(hostSync, effect->tracked->vars[i]);
        if (effect->bound)
            effect->bound();
    }
}

// A run started from the wrong directory fails later on some picture; say
// first where the assets were looked for and how the program is started.
static void hostHintMissingAssets(int release, const char *tree)
{
    char cwd[1024];
    if (!getcwd(cwd, sizeof cwd))
        snprintf(cwd, sizeof cwd, ".");
    if (!release) {
        struct stat st;
        if (stat(tree, &st) == 0 && S_ISDIR(st.st_mode))
            return;
        fprintf(stderr,
                "No asset tree: %s%s%s is not a directory. Run the development program from build/ "
                "(cd build && ./vantorel), or a bundle from its own directory (./vantorel -release).\n",
                tree[0] == '/' ? "" : cwd, tree[0] == '/' ? "" : "/", tree);
        return;
    }
    bool demo = access("demo.dat", F_OK) == 0, tracks = access("demotrk.dat", F_OK) == 0;
    if (demo && tracks)
        return;
    fprintf(stderr,
            "No %s in %s: a -release run plays from demo.dat and demotrk.dat in its working directory. "
            "Start the bundle from its own directory (cd DIR && ./vantorel -release).\n",
            !demo && !tracks ? "demo.dat or demotrk.dat" : !demo ? "demo.dat" : "demotrk.dat", cwd);
}

int hostTrackedList(Cvar **out, int max)
{
    int n = 0;
    auto add = [&](Cvar *cvar) {
        if (n < max)
            out[n] = cvar;
        n++;
    };
    for (Cvar *cvar : hostTracked)
        add(cvar);
    for (int g = 0; g < FX_BINDINGS; g++) {
        const CvarList *tracked = fxEffects[fxBindingOrder[g]].tracked;
        for (int i = 0; i < tracked->count; i++)
            add(tracked->vars[i]);
    }
    return n;
}

Screen *hostStartup(const HostSetup *setup)
{
    hostSetup = *setup;
    if (setup->readOnly) {
        dataWriteBack = 0;
        dataReadOnly = 1;
    }
    screenSetOffline(setup->offline);
    musicSetMode(setup->musicMode);

    // What is not marked below, or by the loaders themselves, is table work.
    timerStartupBegin(STARTUP_TABLES);
    sinTableBuild();
    sqrtTableBuild();
    noise_init();
    hostRegisterGroup1();
    recipTableBuild();
    rnd_SetTarget(nullptr); // the rasteriser's tables now, not when a scene first draws mid-show

    if (setup->release) {
        dataSetBasePath(setup->assetTree ? setup->assetTree : "");
        dataOpenPack("demo.dat");
        dataOpenPack("demotrk.dat");
        dataWriteBack = 0;
        hostHintMissingAssets(1, "");
    } else {
        const char *tree = setup->assetTree ? setup->assetTree : "../Vantorel/";
        dataSetBasePath(tree);
        dataRecording = 1;
        hostHintMissingAssets(0, tree);
    }

    printf("....");
    logoImage = imgLoad(HOST_LOGO_NAME);
    imgKeep(HOST_LOGO_NAME, logoImage, nullptr);
    printf("bar\n");
    aberrationMaskBuild();

    quietMark(); // a failing step's own lines are its reason in a quiet run
    hostScreen = screenCreate();
    if (!hostScreen)
        exit(10); // no window: its message has been shown
    hostView = rnd_CreateView();
    if (hostView)
        rnd_MakePointSprite(hostView);

    hostContext = EffectContext();
    hostContext.view = hostView;
    hostContext.scratch1 = hostScreen->buffer1;
    hostContext.scratch2 = hostScreen->buffer2;
    hostContext.release = setup->release;
    hostContext.rebuild = setup->rebuild;
    // Live runs keep the effects' short sleeps; offline runs, whose frames
    // follow music time rather than the wall clock, go without.
    hostContext.pause = setup->pauses ? platformSleep : nullptr;
    // Setups that mostly build meshes and scenes are charged to the objects;
    // their pictures, objects and variables are marked by the loaders, the
    // curl and voronoi tables by the effects.
    for (int index : fxSetupOrder) {
        const Effect *effect = &fxEffects[index];
        timerStartupPush(effect->phase);
        quietMark();
        effect->setup(&hostContext);
        timerStartupPop();
    }

    hostRegisterGroup3();
    CvarAddFile("post.vars");
    printf("loading variables...\n");
    CvarLoad();

    printf("loading glitch...\n");
    timerStartupPush(STARTUP_PICTURES);
    for (int n = 1; n < GLITCH_SLOTS; n++) {
        char name[64];
        snprintf(name, sizeof name, "textures/glitch/output%05d.png", n + 1);
        printf("loading:%s", name);
        glitchFrames[n] = imgLoad(name);
        if (glitchFrames[n]) {
            imgBoxBlur(glitchFrames[n]);
            imgKeep(name, glitchFrames[n], blurGlitchFrame);
        }
    }
    timerStartupPop();

    timerStartupPush(STARTUP_TRACKS);
    hostBindTracks();
    timerStartupPop();

    quietMark();
    musicStart();
    demoTimeStart();
    CvarArmSaving();
    timerStartupEnd();
    return hostScreen;
}

const EffectContext *hostEffectContext(void)
{
    return &hostContext;
}

SyncDevice *hostSyncDevice(void)
{
    return hostSync;
}

// A development run packs every asset it asked for into "demo.dat"; the
// variable files are written back afterwards, by the exit handler. A bench
// writes nothing, so it does not gather the pack either.
static void hostShutdown(void)
{
    syncDestroyDevice(hostSync);
    hostSync = nullptr;
    if (hostSetup.release || dataReadOnly)
        return;
    int count = dataOpenedCount();
    char **names = (char **)calloc((size_t)count + 1, sizeof(char *));
    if (!names)
        return;
    int i = 0;
    for (DataName *n = openedFiles; n && i < count; n = n->next)
        names[i++] = strdup(n->name);
    dataBuildPack(names);
    for (i = 0; i < count; i++)
        free(names[i]);
    free(names);
}

// Median milliseconds of the chain with every pass on, run on the last
// picture of the show.
static double hostTimeEveryPass(void)
{
    enum { RUNS = 101 };
    PostPlan plan;
    hostPlanEveryPass(&plan);
    std::vector<double> ms(RUNS);
    for (double &m : ms) {
        uint64_t began = platformCounter();
        postRunChain(hostScreen->buffer0, hostScreen->buffer1, &plan);
        m = platformSecondsSince(began) * 1000.0;
    }
    std::nth_element(ms.begin(), ms.begin() + RUNS / 2, ms.end());
    return ms[RUNS / 2];
}

// Prints the bench's table and writes its JSON; 1 when the JSON could not be
// written.
static int hostFinishBench(FILE *json, double fps, double start, double firstFrame, const PrerollReport *preroll)
{
    BenchRun run = {};
    run.preroll = *preroll;
    run.fps = fps;
    run.start = start;
    run.startup = timerStartupTimes();
    run.firstFrameSeconds = firstFrame;
    run.postEveryPassMs = hostTimeEveryPass();
    run.frameCopyMs = benchMeasureFrameCopy();
    run.peakResidentMb = benchPeakResidentMb();
    benchPrintTable(stdout, &run);
    if (!json)
        return 0;
    int written = benchWriteJson(json, &run);
    written = fclose(json) == 0 && written;
    if (!written)
        fprintf(stderr, "Failed to write the bench figures: %s\n", strerror(errno));
    return !written;
}

// An offline run from --start draws the frames a run from the start of the
// music draws at the same times (when the start lies on that run's grid) or
// those of the grid through the start, with everything that carries from
// frame to frame brought to where it is there.
static void hostReplayToStart(double fps, double start, PrerollReport *report)
{
    FrameGrid grid;
    int64_t first;
    gridFor(start, fps, &grid, &first);
    captureSetGrid(grid.origin, first);
    prerollTo(hostScreen, &grid, first, first + captureTotalFrames(), report);
    if (report->frames)
        fprintf(stderr, "Starting at %g s as the show is there: %lld of the %lld frames before it replayed in %.2f s.\n",
                start, (long long)report->replayed, (long long)report->frames,
                report->planSeconds + report->replaySeconds);
}

int hostRun(int argc, char **argv)
{
    uint64_t runBegan = platformCounter();
    HostOptions options;
    int parsed = hostParseOptions(argc, argv, &options);
    if (parsed == OPTIONS_DONE)
        return 0;
    if (parsed != OPTIONS_RUN)
        return 2;
    // Progress lines should appear as they happen, also through a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (options.quiet)
        quietBegin();
    musicSetCalibration(options.audioOffsetMs);
    // Past a file size limit a write must fail as on a full disk, so that the
    // old file is kept, instead of ending the program with SIGXFSZ.
#ifdef SIGXFSZ // Windows has no file size limit signal
    signal(SIGXFSZ, SIG_IGN);
#endif

    bool offline = options.captureDir || options.videoFile || options.bench;
    FILE *benchJson = nullptr;
    if (options.bench) {
        // Opened before anything renders, so that a bad path costs no show.
        if (options.benchJson && !(benchJson = fopen(options.benchJson, "w"))) {
            fprintf(stderr, "Cannot write the bench figures to %s: %s\n", options.benchJson, strerror(errno));
            return 1;
        }
        captureBeginBench(options.fps, options.start, options.duration);
    } else if (options.videoFile) {
        // Before anything is rendered: no encoder is a missing tool (exit 2).
        int ready = videoBegin(options.videoFile, options.videoWidth, options.videoHeight, options.crf);
        if (ready != VIDEO_READY)
            return ready == VIDEO_NO_OUTPUT ? 1 : 2;
        captureBeginVideo(options.fps, options.start, options.duration);
    } else if (options.captureDir) {
        int ready = captureBegin(options.captureDir, options.fps, options.start, options.duration, options.overwrite);
        if (ready != CAPTURE_READY)
            return ready == CAPTURE_FRAMES_EXIST ? 2 : 1;
    }
    ScreenDisplay display = {};
    display.mode = options.fullscreen ? SCREEN_FULLSCREEN : SCREEN_WINDOWED;
    display.zoom = options.zoom;
    display.display = options.display;
    display.noVsync = options.noVsync;
    screenSetDisplay(&display);
    HostSetup setup = {};
    setup.release = options.release;
    setup.rebuild = options.rebuild;
    setup.offline = offline;
    setup.musicMode = offline ? MUSIC_OFFLINE : options.noSound ? MUSIC_SILENT : MUSIC_DEVICE;
    setup.pauses = !offline;
    setup.readOnly = options.bench; // a bench measures and leaves the tree as it found it
    hostStartup(&setup);
    PrerollReport preroll = {};
    if (offline) {
        // Nothing of the show lies there: refused like a bad option, before a
        // capture's old frames are removed.
        if (options.start >= musicLength()) {
            fprintf(stderr, "--start %g lies %s the end of the music (%.3f s): there is nothing to render.\n",
                    options.start, options.start > musicLength() ? "past" : "at", musicLength());
            if (benchJson) { // made empty before start-up; no figures go there
                fclose(benchJson);
                remove(options.benchJson);
            }
            return 2;
        }
        if (options.captureDir && !captureRemoveOldFrames())
            return 1;
        double rest = musicLength() - options.start;
        captureSetDefaultDuration(rest > 0.0 ? rest : 0.0);
        if (!options.coldStart)
            hostReplayToStart(options.fps, options.start, &preroll);
    }

    int frames = 0;
    double firstFrame = 0.0;
    if (options.bench)
        benchBegin();
    if (options.edit) {
        EditOptions edit = {options.start, options.controlPath};
        frames = editRun(hostScreen, &edit);
    } else {
        do {
            uint64_t began = platformCounter();
            hostDrawFrame(hostScreen);
            if (options.bench) {
                benchAddFrame(platformSecondsSince(began), hostLastFrame());
                if (frames == 0)
                    firstFrame = platformSecondsSince(runBegan);
            }
            frames++;
        } while (screenUpdate());
    }
    // The packing log first, so that the run's summary lines come last.
    quietMark();
    hostShutdown();
    quietEnd(1);
    if (offline)
        captureFinish(); // the video's last frames are encoded before the summary
    timerPrintFrameSummary(frames);
    int benchFailed = options.bench && hostFinishBench(benchJson, options.fps, options.start, firstFrame, &preroll);
    if (benchFailed)
        return 1;

    if (offline && captureFailed())
        return 1;
    return 0;
}

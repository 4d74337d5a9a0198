// The spine of the program: start-up in its fixed order, the frame loop that
// turns the music position into a picture, and shutdown.
#include "host/host.h"

#include <strings.h> // Required for: strcasecmp()

#include <algorithm>
#include <cerrno>
#include <csignal> // Required for: signal(SIGXFSZ)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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
#include "core/common.h"
#include "host/hostvars.h"
#include "host/music.h"
#include "host/options.h"
#include "host/screen.h"
#include "core/tables.h"
#include "core/startup.h"
#include "host/timer.h"
#include "host/video.h"
#include "platform/platform.h"
#include "post/filter.h"
#include "post/post.h"
#include "render/raster.h"
#include "render/view.h"
#include "sync/sync.h"

EffectHost fxHost;

// Host state, alive until the process ends.
static int hostArgc;
static char **hostArgv;
static Screen *hostScreen;
static FilterParams *hostFilter;
static RenderView *hostView;
static SyncDevice *hostSync;
static int hostPausesOn = 1;
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

// The image layer's variables are the host's own; the layer binds them first.
static Cvar *const imageLayerList[] = {&backimage_texture_idx, &backimage_x, &backimage_y,
                                       &backimage_mode_back, &backimage_mode_front, &backimage_factor};
static const TrackedVars imageLayerTracked = {imageLayerList, 6};

// The effects' tracked variables, group by group; the host announces each
// group with its number.
static const TrackedVars *const effectTrackGroups[9] = {
    &imageLayerTracked, &intro_tracked, &fishtest_tracked, &engtest_tracked, &greets_tracked,
    &curl_tracked,      &simpletunnel_tracked, &voxel_tracked, &particles_tracked,
};

int hostIsRelease(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        if (strcasecmp(argv[i], "-release") == 0)
            return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Frame loop
// ---------------------------------------------------------------------------

void hostSetPauses(int on)
{
    hostPausesOn = on;
}

void hostPause(int milliseconds)
{
    if (hostPausesOn)
        platformSleep(milliseconds);
}

int hostForegroundIndex(void)
{
    int index = truncInt(fx_idx.value);
    return index >= 0 && index <= 6 ? index : -1;
}

static int32_t clampByte(int32_t v)
{
    return std::clamp(v, 0, 255);
}

// The glitch picture of this moment: 25 slots a second, slot 0 (empty) once
// in every 99.
static int hostGlitchSlot(void)
{
    int32_t k = truncInt(demoTime(25.0f)) % GLITCH_SLOTS;
    return k < 0 ? k + GLITCH_SLOTS : k;
}

void hostPlanPost(PostPlan *plan, float fxTime)
{
    *plan = PostPlan();
    int foregroundMode = truncInt(foreground_mode.value);
    plan->frontLayerBefore = foregroundMode == 3;
    plan->frontLayerAfter = foregroundMode == 4;

    plan->blurH = clampByte(truncInt(post_blur_h.value));
    plan->blurV = clampByte(truncInt(post_blur_v.value));
    plan->runBlurH = post_blur_h.value > 0.0f;
    plan->runBlurV = post_blur_v.value > 0.0f;

    plan->runEdges = post_edgedetect.value > 0.5f;
    plan->edgeShift = truncInt(post_edgedetect_factor.value);
    plan->edgeAdditive = post_edgedetect_additive.value > 0.0f;

    plan->runAberration = post_aberration.value != 0.0f;
    plan->runGlow = post_glow.value != 0.0f;

    plan->glitchX = truncInt(post_glitch_xstrength.value);
    plan->glitchY = truncInt(post_glitch_ystrength.value);
    plan->runGlitch = post_glitch_xstrength.value > 0.0f || post_glitch_ystrength.value != 0.0f ||
                      post_glitch_brightness.value > 0.0f;

    // The logo fades in over the intro from fx_time 10 and holds at 0.85.
    if (hostForegroundIndex() == 2) {
        float a = (fxTime - 10.0f) * 0.2f;
        if (a > 0.85f)
            a = 0.85f;
        if (a > 0.0f)
            plan->logoAlpha = truncInt(a * 255.0f);
    }

    plan->runBrightness = post_brightnedd.value != 1.0f;
    plan->brightnessLevel = truncInt(post_brightnedd.value * 255.0f);
    plan->glitchSlot = hostGlitchSlot();
}

void hostPlanEveryPass(PostPlan *plan)
{
    *plan = PostPlan();
    plan->blurH = plan->blurV = 128;
    plan->runBlurH = plan->runBlurV = 1;
    plan->runEdges = 1;
    plan->edgeShift = 1;
    plan->edgeAdditive = 1;
    plan->runAberration = 1;
    plan->runGlow = 1;
    plan->runGlitch = 1;
    plan->glitchX = plan->glitchY = 16;
    plan->glitchSlot = 1; // the first slot that holds a picture
    plan->logoAlpha = 217;
    plan->runBrightness = 1;
    plan->brightnessLevel = 200;
}

void hostRunPost(uint32_t *frame, const PostPlan *plan)
{
    uint32_t *picture = frame + PICTURE_OFFSET_PIXELS;
    if (plan->frontLayerBefore)
        backimage_draw(frame, 2);
    filterSetCoefficients(plan->blurH, plan->blurV);
    if (plan->runBlurH)
        blurRowsH(frame, frame, PICTURE_FIRST_ROW, PICTURE_FIRST_ROW + PICTURE_ROWS - 1);
    if (plan->runBlurV)
        blurRowsV(frame, frame, PICTURE_FIRST_ROW, PICTURE_FIRST_ROW + PICTURE_ROWS - 1);
    if (plan->runEdges)
        edgeDetect(picture, plan->edgeShift, plan->edgeAdditive);
    if (plan->runAberration)
        postAberration();
    if (plan->runGlow)
        postGlow();
    if (plan->runGlitch) {
        bool held = plan->glitchSlot >= 0 && plan->glitchSlot < GLITCH_SLOTS;
        postGlitch(plan->glitchX, plan->glitchY, held ? glitchFrames[plan->glitchSlot] : nullptr);
    }
    if (plan->logoAlpha > 0 && logoImage)
        blitAlpha(picture, logoImage->bitmap, 0, 0, plan->logoAlpha);
    if (plan->frontLayerAfter)
        backimage_draw(frame, 2);
    if (plan->runBrightness)
        postBrightness(picture, plan->brightnessLevel);
    hostClearLetterbox(frame);
}

void hostClearLetterbox(uint32_t *frame)
{
    std::fill_n(frame, PICTURE_OFFSET_PIXELS, 0u);
    std::fill_n(frame + (PICTURE_FIRST_ROW + PICTURE_ROWS) * FRAME_WIDTH, PICTURE_OFFSET_PIXELS, 0u);
}

void hostDrawFrame(Screen *screen)
{
    double row = musicPosition() * ROWS_PER_SECOND;
    syncUpdateVariables(row);
    float fxTime = fx_time.value;

    int background = truncInt(background_mode.value);
    if (background == 1)
        screenClear(0);
    if (background == 2)
        simpletunnel_render(screen->buffer2);
    if (background == 3)
        backimage_draw(screen->buffer0, 0);

    typedef void (*Foreground)(uint32_t *pixels, float t);
    static const Foreground foregrounds[7] = {curl_render,      envtest_render,   intro_render, voxel_render,
                                              fishtest1_render, particles_render, greets_render};
    int foreground = hostForegroundIndex();
    if (foreground >= 0)
        foregrounds[foreground](screen->buffer0, fxTime);
    int foregroundMode = truncInt(foreground_mode.value);
    hostFrameReport = {background, foreground, foregroundMode == 3 || foregroundMode == 4, 0.0};

    // Debug views: frame buffer 1 (right button) or 2 (middle button) is shown
    // as it is, without post chain or letterbox.
    if (screen->mouseButtons & (MOUSE_RIGHT | MOUSE_MIDDLE)) {
        const uint32_t *shown = (screen->mouseButtons & MOUSE_RIGHT) ? screen->buffer1 : screen->buffer2;
        std::copy_n(shown, FRAME_WIDTH * FRAME_HEIGHT, screen->buffer0);
        return;
    }

    // The post chain, in its fixed order, on the picture of frame buffer 0.
    uint64_t postBegan = platformCounter();
    PostPlan plan;
    hostPlanPost(&plan, fxTime);
    hostRunPost(screen->buffer0, &plan);
    hostFrameReport.postSeconds = platformSecondsSince(postBegan);
}

const FrameReport *hostLastFrame(void)
{
    return &hostFrameReport;
}

// ---------------------------------------------------------------------------
// Start-up and shutdown
// ---------------------------------------------------------------------------

static FilterParams *hostCreateFilter(void)
{
    FilterParams *filter = (FilterParams *)calloc(1, sizeof(FilterParams));
    if (filter) {
        filter->width = FRAME_WIDTH;
        filter->height = FRAME_HEIGHT;
        filter->threshold = 0;
        filter->mask = 0xFFFF;
        // Replaced by the first frame's coefficients before any blur runs.
        filter->coefH = 123456;
    }
    return filter;
}

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
    for (int g = 0; g < 9; g++) {
        printf("%d\n", g + 1);
        for (int i = 0; i < effectTrackGroups[g]->count; i++)
            syncBindVariable(hostSync, effectTrackGroups[g]->vars[i]);
        if (effectTrackGroups[g] == &intro_tracked)
            intro_enableTimeCopy();
    }
}

int hostTrackedList(Cvar **out, int max)
{
    int n = 0;
    for (Cvar *cvar : hostTracked) {
        if (n < max)
            out[n] = cvar;
        n++;
    }
    for (const TrackedVars *group : effectTrackGroups) {
        for (int i = 0; i < group->count; i++) {
            if (n < max)
                out[n] = group->vars[i];
            n++;
        }
    }
    return n;
}

static void hostStartup(int argc, char **argv)
{
    // What is not marked below, or by the loaders themselves, is table work.
    timerStartupBegin(STARTUP_TABLES);
    sinTableBuild();
    sqrtTableBuild();
    noise_init();
    hostArgc = argc;
    hostArgv = argv;
    hostRegisterGroup1();
    recipTableBuild();
    rnd_SetTarget(nullptr); // the rasteriser's tables now, not when a scene first draws mid-show

    if (hostIsRelease(argc, argv)) {
        dataSetBasePath("");
        dataOpenPack("demo.dat");
        dataOpenPack("demotrk.dat");
        dataWriteBack = 0;
    } else {
        dataSetBasePath("../Vantorel/");
        dataRecording = 1;
    }

    printf("....");
    logoImage = imgLoad("backgrounds/morla/logo_composition2.png");
    printf("bar\n");
    aberrationMaskBuild();

    hostScreen = screenCreate();
    if (!hostScreen)
        exit(10); // no window: its message has been shown
    postSetFrames(hostScreen->buffer0, hostScreen->buffer1);
    hostFilter = hostCreateFilter();
    filterParams = hostFilter; // the blurs read their settings there
    hostView = rnd_CreateView();
    if (hostView)
        rnd_MakePointSprite(hostView);

    fxHost = {hostScreen, hostView, argc, argv};
    // Setups that mostly build meshes and scenes; their pictures, objects and
    // variables are marked by the loaders, the curl and voronoi tables by the
    // effects.
    timerStartupPush(STARTUP_OBJECTS);
    voxel_setup();
    timerStartupPop();
    curl_setup();
    timerStartupPush(STARTUP_OBJECTS);
    fishtest1_setup();
    timerStartupPop();
    envtest_setup();
    timerStartupPush(STARTUP_OBJECTS);
    intro_setup();
    particles_setup();
    timerStartupPop();
    simpletunnel_setup();

    hostRegisterGroup2();
    CvarAddFile("backimage.vars");
    CvarLoad();
    backimage_load();
    greets_setup();

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
        if (glitchFrames[n])
            imgBoxBlur(glitchFrames[n]);
    }
    timerStartupPop();

    timerStartupPush(STARTUP_TRACKS);
    hostBindTracks();
    timerStartupPop();

    musicStart();
    demoTimeStart();
    CvarArmSaving();
    timerStartupEnd();
}

// A development run packs every asset it asked for into "demo.dat"; the
// variable files are written back afterwards, by the exit handler. A bench
// writes nothing, so it does not gather the pack either.
static void hostShutdown(void)
{
    syncDestroyDevice(hostSync);
    hostSync = nullptr;
    if (hostIsRelease(hostArgc, hostArgv) || dataReadOnly)
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
        hostRunPost(hostScreen->buffer0, &plan);
        m = platformSecondsSince(began) * 1000.0;
    }
    std::nth_element(ms.begin(), ms.begin() + RUNS / 2, ms.end());
    return ms[RUNS / 2];
}

// Prints the bench's table and writes its JSON; 1 when the JSON could not be
// written.
static int hostFinishBench(FILE *json, double fps, double start, double firstFrame)
{
    BenchRun run = {};
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
        printf("Failed to write the bench figures: %s\n", strerror(errno));
    return !written;
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
    // Past a file size limit a write must fail as on a full disk, so that the
    // old file is kept, instead of ending the program with SIGXFSZ.
    signal(SIGXFSZ, SIG_IGN);

    bool offline = options.captureDir || options.videoFile || options.bench;
    FILE *benchJson = nullptr;
    if (options.bench) {
        // Opened before anything renders, so that a bad path costs no show.
        if (options.benchJson && !(benchJson = fopen(options.benchJson, "w"))) {
            printf("Cannot write the bench figures to %s: %s\n", options.benchJson, strerror(errno));
            return 1;
        }
        captureBeginBench(options.fps, options.start, options.duration);
        dataWriteBack = 0;
        dataReadOnly = 1;
    } else if (options.videoFile) {
        // Before anything is rendered: no encoder is a missing tool (exit 2).
        int ready = videoBegin(options.videoFile);
        if (ready != VIDEO_READY)
            return ready == VIDEO_NO_ENCODER ? 2 : 1;
        captureBeginVideo(options.fps, options.start, options.duration);
    } else if (options.captureDir &&
               !captureBegin(options.captureDir, options.fps, options.start, options.duration)) {
        return 1;
    }
    if (offline) {
        screenSetOffline(1);
        musicSetMode(MUSIC_OFFLINE);
        hostSetPauses(0);
    } else if (options.noSound) {
        musicSetMode(MUSIC_SILENT);
    }

    hostStartup(argc, argv);
    if (offline) {
        double rest = musicLength() - options.start;
        captureSetDefaultDuration(rest > 0.0 ? rest : 0.0);
    }

    int frames = 0;
    double firstFrame = 0.0;
    if (options.bench)
        benchBegin();
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
    if (offline)
        captureFinish(); // the video's last frames are encoded before the summary
    timerPrintFrameSummary(frames);
    int benchFailed = options.bench && hostFinishBench(benchJson, options.fps, options.start, firstFrame);
    hostShutdown();
    if (benchFailed)
        return 1;

    if (offline && captureFailed())
        return 1;
    return 0;
}

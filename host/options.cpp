// Parsing of the "--" command-line options.
#include "host/options.h"

#include <strings.h> // Required for: strcasecmp()

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/video.h"

enum { DEFAULT_CAPTURE_FPS = 30 };
static const char DEFAULT_CONTROL_PATH[] = "vantorel-control"; // in the working directory

void hostPrintUsage(FILE *out)
{
    fprintf(out,
            "Usage: vantorel [-release] [options]\n"
            "\n"
            "Plays the production in a window, with the music as its clock.\n"
            "\n"
            "  -release            play from the packs demo.dat and demotrk.dat instead of ../Vantorel/\n"
            "  -rebuild            rebuild the curl particles' cache\n"
            "  --capture DIR       render offline, without window or sound device, into\n"
            "                      DIR/frame_000000.png, frame_000001.png, ...\n"
            "  --video FILE        render offline like --capture and encode the show with its music\n"
            "                      into FILE (H.264, 1920 x 1080 unless --video-size, AAC) with ffmpeg\n"
            "  --overwrite         let --capture replace the frame files already in DIR\n"
            "  --video-size WxH    the video's size: 1280x720, 1920x1080 (default), 2560x1440 or 3840x2160\n"
            "  --crf N             the video's quality, 0 (best) to 51 (default %d; lower is larger)\n"
            "  --bench             render offline without writing anything and print a table of\n"
            "                      frame times per effect, the post chain, start-up and memory\n"
            "  --bench-json FILE   like --bench, and write the same figures as JSON into FILE\n"
            "  --fps N             frames per second of music time offline (default %d)\n"
            "  --start SECONDS     music time of the first frame, offline or in the edit mode, with\n"
            "                      everything as the show has it there (default 0)\n"
            "  --duration SECONDS  length of the offline run (default: to the end of the music)\n"
            "  --cold-start        begin at --start without replaying the frames before it: quicker,\n"
            "                      but particles and other state then differ from the show\n"
            "  --no-sound          play without an audio device; the music clock runs silently\n"
            "  --edit              edit mode (not with -release): Space pauses, Left/Right seek 1 s,\n"
            "                      Page Up/Down 10 s, Home to the start, , and . step a frame while\n"
            "                      paused, [ and ] set a loop, L loops, F1 hides the status line;\n"
            "                      --start SECONDS begins there\n"
            "  --control PATH      the edit mode's control socket (default %s)\n"
            "  --fullscreen        fill the display: the largest whole enlargement, centred on black\n"
            "  --zoom N            a window of 320 N x 180 N pixels instead of 1920 x 1080\n"
            "  --display K         open on display K (0 the first, which is the default)\n"
            "  --no-vsync          do not wait for the display's refresh (for measurements)\n"
            "  --audio-offset MS   show the picture MS milliseconds later (negative: earlier) than the\n"
            "                      sound device reports, to match what is heard on this machine\n"
            "  --quiet             print only failures, warnings and the run's summary\n"
            "  --help              show this text\n",
            (int)VIDEO_DEFAULT_CRF, DEFAULT_CAPTURE_FPS, DEFAULT_CONTROL_PATH);
}

static int usageError(const char *fmt, const char *arg)
{
    fprintf(stderr, "vantorel: ");
    fprintf(stderr, fmt, arg);
    fprintf(stderr, "\n\n");
    hostPrintUsage(stderr);
    return OPTIONS_USAGE;
}

static const char *const knownOptions[] = {
    "-release", "-rebuild", "-help", "--capture", "--video", "--bench", "--bench-json", "--fps", "--start",
    "--duration", "--cold-start", "--no-sound", "--edit", "--control", "--audio-offset", "--quiet", "--help",
    "--fullscreen", "--zoom", "--display", "--no-vsync", "--overwrite", "--video-size", "--crf"};

// Letters to change, add or remove to turn a into b.
static size_t editDistance(const char *a, const char *b)
{
    size_t n = strlen(b);
    std::vector<size_t> row(n + 1);
    for (size_t j = 0; j <= n; j++)
        row[j] = j;
    for (const char *p = a; *p; p++) {
        size_t diagonal = row[0]++;
        for (size_t j = 1; j <= n; j++) {
            size_t change = tolower((unsigned char)*p) != tolower((unsigned char)b[j - 1]);
            size_t next = std::min({row[j] + 1, row[j - 1] + 1, diagonal + change});
            diagonal = row[j];
            row[j] = next;
        }
    }
    return row[n];
}

// The known option nearest to a mistyped word; null when none is close
// enough to be meant.
static const char *nearestOption(const char *word)
{
    const char *best = nullptr;
    size_t bestDistance = 0;
    for (const char *option : knownOptions) {
        size_t d = editDistance(word, option);
        if (!best || d < bestDistance)
            best = option, bestDistance = d;
    }
    // A third of the word may be mistyped, and always two letters.
    return bestDistance <= std::max<size_t>(2, strlen(word) / 3) ? best : nullptr;
}

// Words with one dash are not options; the run goes on without them.
static int singleDash(const char *arg)
{
    if (!strcmp(arg, "-h") || !strcasecmp(arg, "-help") || !strcmp(arg, "-?")) {
        hostPrintUsage(stdout);
        return OPTIONS_DONE;
    }
    if (strcasecmp(arg, "-release") && strcasecmp(arg, "-rebuild")) {
        const char *nearest = nearestOption(arg);
        fprintf(stderr, "vantorel: ignoring the unknown argument %s%s%s%s\n", arg, nearest ? " (did you mean " : "",
                nearest ? nearest : "", nearest ? "?)" : "; see --help");
    }
    return OPTIONS_RUN;
}

static bool parseNumber(const char *text, double *out)
{
    char *end = nullptr;
    double v = strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

int hostParseOptions(int argc, char **argv, HostOptions *options)
{
    *options = HostOptions();
    options->fps = DEFAULT_CAPTURE_FPS;
    options->videoWidth = 0;
    options->crf = VIDEO_DEFAULT_CRF;
    bool timing = false, startGiven = false, windowGiven = false, videoOption = false,
         audioOffsetGiven = false;

    // The run mode counts wherever the word stands, even as an option's value.
    for (int i = 1; i < argc; i++) {
        options->release |= strcasecmp(argv[i], "-release") == 0;
        options->rebuild |= strcasecmp(argv[i], "-rebuild") == 0;
    }
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (arg[0] == '-' && arg[1] != '-') {
            if (singleDash(arg) == OPTIONS_DONE)
                return OPTIONS_DONE;
            continue;
        }
        if (strncmp(arg, "--", 2) != 0)
            continue;
        // "--name=value" and "--name value" are the same.
        char name[64];
        const char *value = nullptr;
        const char *equals = strchr(arg, '=');
        size_t length = equals ? (size_t)(equals - arg) : strlen(arg);
        if (length >= sizeof name)
            return usageError("unknown option %s", arg);
        memcpy(name, arg, length);
        name[length] = '\0';
        if (equals)
            value = equals + 1;

        if (!strcmp(name, "--help")) {
            hostPrintUsage(stdout);
            return OPTIONS_DONE;
        }
        if (!strcmp(name, "--overwrite")) {
            if (value)
                return usageError("%s takes no value", name);
            options->overwrite = 1;
            continue;
        }
        if (!strcmp(name, "--no-sound") || !strcmp(name, "--bench") || !strcmp(name, "--cold-start") ||
            !strcmp(name, "--edit") || !strcmp(name, "--fullscreen") || !strcmp(name, "--no-vsync") ||
            !strcmp(name, "--quiet")) {
            if (value)
                return usageError("%s takes no value", name);
            if (!strcmp(name, "--quiet"))
                options->quiet = 1;
            else if (!strcmp(name, "--bench"))
                options->bench = 1;
            else if (!strcmp(name, "--cold-start"))
                options->coldStart = 1;
            else if (!strcmp(name, "--edit"))
                options->edit = 1;
            else if (!strcmp(name, "--fullscreen"))
                options->fullscreen = 1;
            else if (!strcmp(name, "--no-vsync"))
                options->noVsync = 1;
            else
                options->noSound = 1;
            continue;
        }

        bool takesValue = !strcmp(name, "--capture") || !strcmp(name, "--video") || !strcmp(name, "--bench-json") ||
                          !strcmp(name, "--fps") || !strcmp(name, "--start") || !strcmp(name, "--duration") ||
                          !strcmp(name, "--control") || !strcmp(name, "--zoom") || !strcmp(name, "--display") ||
                          !strcmp(name, "--video-size") || !strcmp(name, "--crf") ||
                          !strcmp(name, "--audio-offset");
        if (!takesValue)
            return usageError("unknown option %s", arg);
        if (!value) {
            if (i + 1 >= argc)
                return usageError("%s needs a value", name);
            value = argv[++i];
        }

        if (!strcmp(name, "--capture")) {
            if (!*value)
                return usageError("%s needs a directory", name);
            options->captureDir = value;
            continue;
        }
        if (!strcmp(name, "--video")) {
            if (!*value)
                return usageError("%s needs a file name", name);
            options->videoFile = value;
            continue;
        }
        if (!strcmp(name, "--control")) {
            if (!*value)
                return usageError("%s needs a path", name);
            options->controlPath = value;
            continue;
        }
        if (!strcmp(name, "--bench-json")) {
            if (!*value)
                return usageError("%s needs a file name", name);
            options->benchJson = value;
            options->bench = 1;
            continue;
        }
        if (!strcmp(name, "--video-size")) {
            // Whole-factor enlargements only: every picture pixel a square block.
            static const int sizes[][2] = {{1280, 720}, {1920, 1080}, {2560, 1440}, {3840, 2160}};
            int w = 0, h = 0, used = 0;
            for (const auto &size : sizes)
                if (sscanf(value, "%dx%d%n", &w, &h, &used) == 2 && !value[used] && w == size[0] && h == size[1])
                    options->videoWidth = w, options->videoHeight = h;
            if (!options->videoWidth)
                return usageError("--video-size must be 1280x720, 1920x1080, 2560x1440 or 3840x2160, not %s", value);
            videoOption = true;
            continue;
        }
        double number;
        if (!strcmp(name, "--zoom") || !strcmp(name, "--display")) {
            bool zoom = !strcmp(name, "--zoom");
            if (!parseNumber(value, &number) || number != std::floor(number) || number < (zoom ? 1 : 0) ||
                number > (zoom ? 64 : 63))
                return usageError(zoom ? "--zoom takes a whole number from 1 to 64, not %s"
                                       : "--display takes a display number from 0, not %s",
                                  value);
            (zoom ? options->zoom : options->display) = (int)number;
            windowGiven = true;
            continue;
        }
        if (!parseNumber(value, &number))
            return usageError("not a number: %s", value);
        if (!strcmp(name, "--crf")) {
            if (number < 0.0 || number > 51.0 || number != (int)number)
                return usageError("--crf must be a whole number from 0 to 51, not %s", value);
            options->crf = (int)number;
            videoOption = true;
            continue;
        }
        if (!strcmp(name, "--audio-offset")) {
            if (std::fabs(number) > 10000.0)
                return usageError("--audio-offset lies between -10000 and 10000 milliseconds, not %s", value);
            options->audioOffsetMs = number;
            audioOffsetGiven = true;
            continue;
        }
        // The edit mode begins at --start too, but has no other timing.
        startGiven = startGiven || !strcmp(name, "--start");
        timing = timing || strcmp(name, "--start") != 0;
        if (!strcmp(name, "--fps")) {
            if (number <= 0.0 || number > 1000.0)
                return usageError("--fps must lie between 0 and 1000, not %s", value);
            options->fps = number;
        } else if (!strcmp(name, "--start")) {
            if (number < 0.0)
                return usageError("--start cannot be negative: %s", value);
            options->start = number;
        } else {
            if (number <= 0.0)
                return usageError("--duration must be positive: %s", value);
            options->duration = number;
        }
    }
    bool offline = options->captureDir || options->videoFile || options->bench;
    windowGiven = windowGiven || options->fullscreen || options->noVsync;
    if (windowGiven && offline)
        return usageError("%s", "--fullscreen, --zoom, --display and --no-vsync apply to the window, not to --capture, "
                                "--video or --bench");
    if (options->fullscreen && options->zoom)
        return usageError("%s", "--fullscreen chooses its own enlargement; it cannot be combined with --zoom");
    if ((options->captureDir != nullptr) + (options->videoFile != nullptr) + options->bench > 1)
        return usageError("%s", "--capture, --video and --bench cannot be combined: run them one after the other");
    if (options->edit && options->release)
        return usageError("%s", "--edit works on the asset tree of a development run; it cannot be combined with -release");
    if (options->edit && offline)
        return usageError("%s", "--edit plays in the window; it cannot be combined with --capture, --video or --bench");
    if (options->controlPath && !options->edit)
        return usageError("%s", "--control belongs to --edit");
    if (!options->controlPath)
        options->controlPath = DEFAULT_CONTROL_PATH;
    if (videoOption && !options->videoFile)
        return usageError("%s", "--video-size and --crf apply to --video");
    if (options->overwrite && !options->captureDir)
        return usageError("%s", "--overwrite applies to --capture");
    if (!options->videoWidth)
        options->videoWidth = VIDEO_DEFAULT_WIDTH, options->videoHeight = VIDEO_DEFAULT_HEIGHT;
    if ((timing || options->coldStart) && !offline)
        return usageError("%s", "--fps, --duration and --cold-start apply to --capture, --video and --bench");
    if (audioOffsetGiven && offline)
        return usageError("%s", "--audio-offset matches the picture to the sound device; offline runs have none");
    if (startGiven && !offline && !options->edit)
        return usageError("%s", "--start applies to --capture, --video, --bench and --edit");
    return OPTIONS_RUN;
}

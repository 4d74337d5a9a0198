// Bench figures: frame times per effect and background, their percentiles,
// the frame-copy unit, and the table and JSON that report them.
#include "host/bench.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h> // Required for: GetProcessMemoryInfo()
#else
#include <sys/resource.h> // Required for: getrusage()
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/common.h"
#include "fx/fx.h"
#include "platform/platform.h"
#include "render/bitmap.h" // Required for: FRAME_WIDTH, FRAME_HEIGHT

// The slots a frame is filed under: the seven foreground effects by fx_idx,
// then the backgrounds and the image layer over the picture.
enum {
    BENCH_FOREGROUNDS = FX_FOREGROUNDS,
    BENCH_CLEAR = BENCH_FOREGROUNDS, // background_mode 1
    BENCH_TUNNEL = 8,      // background_mode 2
    BENCH_BACK_LAYER = 9,  // background_mode 3
    BENCH_FRONT_LAYER = 10, // foreground_mode 3 or 4
    BENCH_SLOTS = 11
};

// The effects by their table names, then the backgrounds.
static const char *benchName(int slot)
{
    if (slot < BENCH_FOREGROUNDS)
        return fxEffects[fxForegroundOrder[slot]].name;
    static const char *const others[] = {"clear", fxEffects[FX_TUNNEL].name, fxEffects[FX_IMAGE_LAYER].name,
                                         "image layer front"};
    return others[slot - BENCH_FOREGROUNDS];
}

enum { COPY_BATCHES = 31, COPIES_PER_BATCH = 50 };

struct BenchStats {
    int frames;
    double mean, median, p95, max; // milliseconds
};

static std::vector<float> benchSlots[BENCH_SLOTS]; // milliseconds
static std::vector<float> benchShow;
static std::vector<float> benchPost;

void benchBegin(void)
{
    for (std::vector<float> &slot : benchSlots)
        slot.clear();
    benchShow.clear();
    benchPost.clear();
}

void benchAddFrame(double seconds, const FrameReport *report)
{
    float ms = (float)(seconds * 1000.0);
    benchShow.push_back(ms);
    benchPost.push_back((float)(report->postSeconds * 1000.0));
    if (report->foreground >= 0 && report->foreground < BENCH_FOREGROUNDS)
        benchSlots[report->foreground].push_back(ms);
    if (report->background >= 1 && report->background <= 3)
        benchSlots[BENCH_CLEAR + report->background - 1].push_back(ms);
    if (report->frontLayer)
        benchSlots[BENCH_FRONT_LAYER].push_back(ms);
}

// Median of the even count is the mean of the two middle samples; the 95th
// percentile is the nearest rank.
static BenchStats benchStats(std::vector<float> samples)
{
    BenchStats s = {};
    s.frames = (int)samples.size();
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    double sum = 0.0;
    for (float v : samples)
        sum += v;
    size_t n = samples.size();
    s.mean = sum / (double)n;
    s.median = n % 2 ? samples[n / 2] : 0.5 * ((double)samples[n / 2 - 1] + samples[n / 2]);
    size_t rank = (size_t)((double)n * 0.95 + 0.999999); // ceil without a float surprise at whole numbers
    s.p95 = samples[std::clamp<size_t>(rank, 1, n) - 1];
    s.max = samples[n - 1];
    return s;
}

static double benchNowMs(void)
{
    return (double)platformCounter() * 1000.0 / (double)platformFrequency();
}

double benchMeasureFrameCopy(void)
{
    const size_t bytes = (size_t)FRAME_WIDTH * FRAME_HEIGHT * 4;
    uint8_t *from = (uint8_t *)allocAligned(bytes, 1);
    uint8_t *to = (uint8_t *)allocAligned(bytes, 1);
    if (!from || !to) {
        freeAligned(from);
        freeAligned(to);
        return 0.0;
    }
    memset(from, 0x5A, bytes);
    std::vector<double> batches;
    for (int b = 0; b < COPY_BATCHES; b++) {
        double began = benchNowMs();
        for (int i = 0; i < COPIES_PER_BATCH; i++) {
            memcpy(to, from, bytes);
            // The copy's result is never read: tell the compiler it is.
            __asm__ __volatile__("" : : "r"(to) : "memory");
        }
        batches.push_back((benchNowMs() - began) / COPIES_PER_BATCH);
    }
    freeAligned(from);
    freeAligned(to);
    std::nth_element(batches.begin(), batches.begin() + COPY_BATCHES / 2, batches.end());
    return batches[COPY_BATCHES / 2];
}

double benchPeakResidentMb(void)
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS usage = {};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &usage, sizeof usage))
        return 0.0;
    return (double)usage.PeakWorkingSetSize / (1024.0 * 1024.0);
#else
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0.0;
    return (double)usage.ru_maxrss / 1024.0; // kilobytes on Linux
#endif
}

// A figure in frame copies; 0 when the copy could not be timed.
static double benchCopies(double ms, const BenchRun *run)
{
    return run->frameCopyMs > 0.0 ? ms / run->frameCopyMs : 0.0;
}

// ---------------------------------------------------------------------------
// Table
// ---------------------------------------------------------------------------

void benchPrintTable(FILE *out, const BenchRun *run)
{
    BenchStats show = benchStats(benchShow);
    BenchStats post = benchStats(benchPost);
    double frameBudget = 1000.0 / run->fps;
    fprintf(out, "\nBench: %d frames at %g fps from %.2f s, one thread per frame.\n", show.frames, run->fps,
            run->start);
    fprintf(out, "Unit: one copy of a whole frame buffer (320 x 240 x 4 bytes) = %.4f ms.\n\n", run->frameCopyMs);

    fprintf(out, "%-18s %6s %7s %9s %9s %9s %9s %9s %9s\n", "frames of", "fx_idx", "frames", "median ms",
            "p95 ms", "max ms", "median x", "p95 x", "max x");
    for (int i = 0; i < BENCH_SLOTS; i++) {
        BenchStats s = benchStats(benchSlots[i]);
        if (!s.frames)
            continue;
        char index[8] = "-";
        if (i < BENCH_FOREGROUNDS)
            snprintf(index, sizeof index, "%d", i);
        fprintf(out, "%-18s %6s %7d %9.3f %9.3f %9.3f %9.1f %9.1f %9.1f\n", benchName(i), index, s.frames,
                s.median, s.p95, s.max, benchCopies(s.median, run), benchCopies(s.p95, run),
                benchCopies(s.max, run));
    }
    fprintf(out, "%-18s %6s %7d %9.3f %9.3f %9.3f %9.1f %9.1f %9.1f\n", "post chain alone", "-", post.frames,
            post.median, post.p95, post.max, benchCopies(post.median, run), benchCopies(post.p95, run),
            benchCopies(post.max, run));
    fprintf(out, "%-18s %6s %7d %9.3f %9.3f %9.3f %9.1f %9.1f %9.1f\n", "whole show", "-", show.frames,
            show.median, show.p95, show.max, benchCopies(show.median, run), benchCopies(show.p95, run),
            benchCopies(show.max, run));
    fprintf(out, "\nWhole show: mean %.3f ms (%.1f copies), %.1f times faster than real time at %g fps.\n",
            show.mean, benchCopies(show.mean, run), show.mean > 0.0 ? frameBudget / show.mean : 0.0, run->fps);
    fprintf(out, "Post chain with every pass on: %.3f ms (%.1f copies).\n", run->postEveryPassMs,
            benchCopies(run->postEveryPassMs, run));

    fprintf(out, "\n%-18s %9s %9s\n", "start-up", "s", "copies");
    for (int p = 0; p < STARTUP_PHASES; p++) {
        double s = run->startup->seconds[p];
        fprintf(out, "%-18s %9.4f %9.0f\n", startupPhaseNames[p], s, benchCopies(s * 1000.0, run));
    }
    fprintf(out, "%-18s %9.4f %9.0f\n", "total", run->startup->total, benchCopies(run->startup->total * 1000.0, run));
    fprintf(out, "%-18s %9.4f %9.0f\n", "to first frame", run->firstFrameSeconds,
            benchCopies(run->firstFrameSeconds * 1000.0, run));
    const PrerollReport *p = &run->preroll;
    if (p->frames)
        fprintf(out,
                "\nBefore the start: %lld frames, %lld replayed (%lld with their pictures), %lld coverings tried;\n"
                "deciding %.4f s, replaying %.4f s, %.4f s in all.\n",
                (long long)p->frames, (long long)p->replayed, (long long)p->pictures, (long long)p->probes,
                p->planSeconds, p->replaySeconds, p->planSeconds + p->replaySeconds);
    fprintf(out, "\nPeak resident memory: %.1f MB.\n", run->peakResidentMb);
}

// ---------------------------------------------------------------------------
// JSON
// ---------------------------------------------------------------------------

// "curl table" becomes curl_table: keys a script can use without quoting.
static void benchPrintKey(FILE *out, const char *name)
{
    fputc('"', out);
    for (const char *c = name; *c; c++)
        fputc(*c == ' ' ? '_' : *c, out);
    fputc('"', out);
}

static void benchPrintStats(FILE *out, const BenchStats *s, const BenchRun *run)
{
    fprintf(out,
            "\"frames\": %d, \"median_ms\": %.4f, \"p95_ms\": %.4f, \"max_ms\": %.4f, "
            "\"median_copies\": %.2f, \"p95_copies\": %.2f, \"max_copies\": %.2f",
            s->frames, s->median, s->p95, s->max, benchCopies(s->median, run), benchCopies(s->p95, run),
            benchCopies(s->max, run));
}

int benchWriteJson(FILE *out, const BenchRun *run)
{
    BenchStats show = benchStats(benchShow);
    BenchStats post = benchStats(benchPost);
    fprintf(out, "{\n  \"fps\": %g,\n  \"start_s\": %g,\n  \"frame_copy_ms\": %.5f,\n", run->fps, run->start,
            run->frameCopyMs);
    fprintf(out, "  \"startup_s\": {\"total\": %.5f", run->startup->total);
    for (int p = 0; p < STARTUP_PHASES; p++) {
        fputs(", ", out);
        benchPrintKey(out, startupPhaseNames[p]);
        fprintf(out, ": %.5f", run->startup->seconds[p]);
    }
    fprintf(out, "},\n  \"first_frame_s\": %.5f,\n", run->firstFrameSeconds);
    const PrerollReport *p = &run->preroll;
    fprintf(out,
            "  \"preroll\": {\"frames\": %lld, \"replayed\": %lld, \"pictures\": %lld, \"probes\": %lld, "
            "\"plan_s\": %.5f, \"replay_s\": %.5f, \"total_s\": %.5f},\n",
            (long long)p->frames, (long long)p->replayed, (long long)p->pictures, (long long)p->probes, p->planSeconds,
            p->replaySeconds, p->planSeconds + p->replaySeconds);
    fprintf(out, "  \"post_chain_ms\": %.4f,\n  \"post_chain_copies\": %.2f,\n", run->postEveryPassMs,
            benchCopies(run->postEveryPassMs, run));
    fputs("  \"post_chain_show\": {", out);
    benchPrintStats(out, &post, run);
    fprintf(out,
            "},\n  \"show\": {\"frames\": %d, \"mean_ms\": %.4f, \"mean_copies\": %.2f, \"realtime_factor\": %.2f, ",
            show.frames, show.mean, benchCopies(show.mean, run), show.mean > 0.0 ? 1000.0 / run->fps / show.mean : 0.0);
    benchPrintStats(out, &show, run);
    fprintf(out, "},\n  \"peak_rss_mb\": %.1f,\n  \"effects\": [", run->peakResidentMb);
    const char *separator = "\n";
    for (int i = 0; i < BENCH_SLOTS; i++) {
        BenchStats s = benchStats(benchSlots[i]);
        if (!s.frames)
            continue;
        fprintf(out, "%s    {\"name\": \"%s\", \"fx_idx\": ", separator, benchName(i));
        if (i < BENCH_FOREGROUNDS)
            fprintf(out, "%d, ", i);
        else
            fputs("null, ", out);
        benchPrintStats(out, &s, run);
        fputc('}', out);
        separator = ",\n";
    }
    fputs("\n  ]\n}\n", out);
    return fflush(out) == 0 && !ferror(out);
}

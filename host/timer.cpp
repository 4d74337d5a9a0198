// Timer nodes in a small hash registry, and the per-frame measurement.
#include "host/timer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/common.h"
#include "platform/platform.h"

enum { TIMER_BUCKETS = 1024, TIMER_GROWTH = 10000, TIMER_WARMUP = 200 };

struct TimerEntry {
    uint32_t hash;
    TimerNode *node;
    TimerEntry *next;
};

struct TimerRegistry {
    TimerEntry *buckets[TIMER_BUCKETS];
    uint32_t largestHash; // kept for inspection only
};

static TimerRegistry *timerRegistry;

static double timerNow(void)
{
    return (double)platformCounter() / (double)platformFrequency();
}

static uint32_t timerHash(const char *name)
{
    uint32_t h = 5381;
    for (const signed char *p = (const signed char *)name; *p; p++)
        h = (h * 33) ^ (uint32_t)(int32_t)*p;
    return h;
}

static bool timerRegistryCreate(void)
{
    if (!timerRegistry)
        timerRegistry = (TimerRegistry *)calloc(1, sizeof(TimerRegistry));
    return timerRegistry != nullptr;
}

static TimerEntry *timerFindEntry(uint32_t hash)
{
    for (TimerEntry *e = timerRegistry->buckets[hash & (TIMER_BUCKETS - 1)]; e; e = e->next) {
        if (e->hash == hash)
            return e;
    }
    return nullptr;
}

TimerNode *timerCreateNode(const char *name)
{
    if (!timerRegistryCreate())
        return nullptr;
    uint32_t hash = timerHash(name);
    TimerEntry *entry = timerFindEntry(hash);
    if (entry && entry->node) {
        logTagged("timerCreateNode", 221, "Timer node already created:%s (%s)", name, name);
        return nullptr;
    }

    TimerNode *node = (TimerNode *)calloc(1, sizeof(TimerNode));
    char *copy = strdup(name);
    if (!node || !copy) {
        free(node);
        free(copy);
        return nullptr;
    }
    node->name = copy;
    node->depth = 0;
    node->start = timerNow();

    if (!entry) {
        entry = (TimerEntry *)calloc(1, sizeof(TimerEntry));
        if (!entry) {
            free(copy);
            free(node);
            return nullptr;
        }
        TimerEntry **bucket = &timerRegistry->buckets[hash & (TIMER_BUCKETS - 1)];
        entry->hash = hash;
        entry->next = *bucket;
        *bucket = entry;
        if (hash > timerRegistry->largestHash)
            timerRegistry->largestHash = hash;
    }
    entry->node = node;
    logTagged("timerCreateNode", 239, "Created %s", name);
    return node;
}

TimerNode *timerFindNode(const char *name)
{
    if (!timerRegistry)
        return nullptr;
    TimerEntry *entry = timerFindEntry(timerHash(name));
    return entry ? entry->node : nullptr;
}

void timernodeAddValue(TimerNode *node, float seconds)
{
    if (!node)
        return;
    if (node->count == node->capacity) {
        float *grown = (float *)malloc(((size_t)node->capacity + TIMER_GROWTH) * sizeof(float));
        if (!grown) {
            logTagged("timernodeAddValue", 266, "Not enough memory for new entries table: %s", node->name);
            return;
        }
        if (node->count)
            memcpy(grown, node->samples, (size_t)node->count * sizeof(float));
        free(node->samples);
        node->samples = grown;
        node->capacity += TIMER_GROWTH;
    }
    node->samples[node->count++] = seconds;

    if (seconds < node->minimum || node->count == 1)
        node->minimum = seconds;
    if (seconds > node->maximum)
        node->maximum = seconds;
    if (node->count > TIMER_WARMUP) {
        node->total += seconds;
        node->average = (float)(node->total / (node->count - TIMER_WARMUP));
    }
    node->last = seconds;
}

void timerBeginFrame(void)
{
    if (!timerRegistryCreate())
        return;
    TimerNode *node = timerFindNode("frame");
    if (!node)
        node = timerCreateNode("frame");
    if (node)
        node->start = timerNow();
}

void timerEndFrame(void)
{
    TimerNode *node = timerFindNode("frame");
    if (node)
        timernodeAddValue(node, (float)(timerNow() - node->start));
}

void timerPrintFrameSummary(int framesPresented)
{
    TimerNode *node = timerFindNode("frame");
    int n = node ? node->count : 0;
    double sum = 0.0, median = 0.0;
    if (n) {
        std::vector<float> sorted(node->samples, node->samples + n);
        for (float v : sorted)
            sum += v;
        std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.end());
        median = sorted[n / 2] * 1000.0;
    }
    double mean = n ? sum / n * 1000.0 : 0.0;
    double lo = n ? node->minimum * 1000.0 : 0.0;
    double hi = n ? node->maximum * 1000.0 : 0.0;
    printf("frames: %d, frame time mean %.3f ms, median %.3f ms, min %.3f ms, max %.3f ms\n", framesPresented, mean,
           median, lo, hi);
}

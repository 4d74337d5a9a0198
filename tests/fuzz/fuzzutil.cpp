// The fuzz targets' shared helpers: scratch directory, memory packs, and the
// reset of the engine's process-wide state between inputs.
#include "fuzzutil.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "cvar/cvar.h"
#include "data/data.h"
#include "data/pack.h"

static std::string scratch; // with a trailing '/'

// Names from the production's variable files, so that its files make seeds.
static Cvar fuzzScalar = cvarDefine("intro_zoom", "160", 0, 500);
static Cvar fuzzColour = cvarDefine("intro_diffuse", "0.9 0.95 1 1", 0, 0, CVAR_COLOR, 0.9f, 0.95f, 1.0f, 1.0f);
static Cvar fuzzVector = cvarDefine("engtest_camera", "0 0 0", 0, 0, CVAR_VEC3, 0.0f, 0.0f, -1000.0f, 0.0f);
static Cvar *const fuzzVariables[] = {&fuzzScalar, &fuzzColour, &fuzzVector};
static Cvar fuzzDefaults[3];

static void fuzzRemoveScratch(void)
{
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

void fuzzInit(bool diskAssets)
{
    if (!scratch.empty())
        return;
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantorel-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        perror(pattern.c_str());
        abort(); // nothing can be fuzzed without it
    }
    scratch = pattern + "/";
    atexit(fuzzRemoveScratch);
    dataRecording = 0;
    dataWriteBack = 0;
    dataSetBasePath((scratch + (diskAssets ? "" : "absent/")).c_str());
}

const std::string &fuzzScratch(void)
{
    return scratch;
}

std::string fuzzWriteFile(const char *name, const uint8_t *data, size_t size)
{
    std::string path = scratch + name;
    FILE *file = fopen(path.c_str(), "wb");
    if (!file || (size && fwrite(data, 1, size, file) != size) || fclose(file) != 0) {
        perror(path.c_str());
        abort();
    }
    return path;
}

DataPack *fuzzOpenPack(const FuzzEntry *entries, int count)
{
    PackSource sources[8];
    if (count > 8)
        return nullptr;
    for (int i = 0; i < count; i++)
        sources[i] = PackSource{entries[i].name, entries[i].data, (int32_t)entries[i].size};
    std::string path = scratch + "memory.dat";
    if (!dataWritePack(path.c_str(), sources, count))
        return nullptr;
    return dataOpenPack(path.c_str());
}

void fuzzClosePacks(void)
{
    while (dataPacks)
        dataClosePack(dataPacks);
}

void fuzzResetVariables(void)
{
    if (!fuzzDefaults[0].name) {
        for (int i = 0; i < 3; i++) {
            fuzzDefaults[i] = *fuzzVariables[i];
            CvarRegister(fuzzVariables[i]);
        }
    }
    for (int i = 0; i < 3; i++) {
        Cvar *cvar = fuzzVariables[i];
        CvarSet(cvar->name, fuzzDefaults[i].text);
        for (int k = 0; k < 4; k++)
            cvar->vec[k] = fuzzDefaults[i].vec[k];
        cvar->source = nullptr;
    }
}

uint64_t fuzzHash(const uint8_t *data, size_t size)
{
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; i++)
        hash = (hash ^ data[i]) * 1099511628211ull;
    return hash;
}

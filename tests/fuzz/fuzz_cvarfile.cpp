// Variable files of arbitrary bytes, read through a DataFile over a pack
// entry or over a disk file (the input's hash picks which), into a scalar,
// a colour and a vector variable.
#include <cstdlib>

#include "cvar/cvar.h"
#include "cvar/cvarfile.h"
#include "data/data.h"
#include "fuzzutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzInit(true);
    fuzzResetVariables();
    static char name[] = "fuzz.vars";
    char *slot = name;
    const FuzzEntry entry = {name, data, size};
    if (fuzzHash(data, size) & 1)
        fuzzWriteFile(name, data, size);
    else if (!fuzzOpenPack(&entry, 1))
        abort();
    // The pack is searched first, so a disk file left by an earlier input is not read.
    DataFile *file = dataFileOpen(name);
    if (!file)
        abort();
    CvarReadVariables(file, &slot);
    dataFileClose(file);
    for (Cvar *cvar = cvarList; cvar; cvar = cvar->next) {
        if (!cvar->text || (cvar->source && cvar->source != &slot))
            abort();
    }
    fuzzClosePacks();
    return 0;
}

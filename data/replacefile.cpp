// Whole-file replacement through a temporary file, and the hooks the tests
// fail its writes with.
#include "data/replacefile.h"

#include <string>

int dataReadOnly;
DataWriteHooks dataWriteHooks;

int dataReplaceFile(const char *path, bool (*write)(FILE *file, void *context), void *context)
{
    // A bench measures and leaves the asset tree as it found it; the callers
    // only cache or pack, so a skipped write is not their failure.
    if (dataReadOnly)
        return 1;
    const DataWriteHooks hooks = dataWriteHooks;
    std::string temporary = std::string(path) + ".part";
    FILE *file = hooks.fails && hooks.fails() ? nullptr : fopen(temporary.c_str(), "wb");
    if (file && hooks.stream)
        file = hooks.stream(file);
    if (!file)
        return 0;
    bool ok = write(file, context);
    ok = fflush(file) == 0 && ok;
    ok = !ferror(file) && ok;
    ok = fclose(file) == 0 && ok;
    if (ok && !(hooks.fails && hooks.fails()) && rename(temporary.c_str(), path) == 0)
        return 1;
    remove(temporary.c_str());
    return 0;
}

// Whole-file replacement through a temporary file, and the write fault seam
// of the tests.
#include "data/replacefile.h"

#include <cerrno>
#include <cstdlib>
#include <string>

int dataReadOnly;

// The write fault seam: -1 until VANTOREL_FAIL_WRITE has been read, 0 when off.
static long faultAt = -1;
static long faultCount;

void dataFailWrite(long n)
{
    faultAt = n > 0 ? n : 0;
    faultCount = 0;
}

long dataWritesCounted(void)
{
    return faultCount;
}

// Counts one write while the seam is on; true for the one that must fail.
static bool dataWriteFails(void)
{
    if (faultAt < 0) {
        const char *n = getenv("VANTOREL_FAIL_WRITE");
        dataFailWrite(n ? atol(n) : 0);
    }
    return faultAt > 0 && ++faultCount == faultAt;
}

static ssize_t faultyWrite(void *cookie, const char *data, size_t size)
{
    if (dataWriteFails()) {
        errno = ENOSPC;
        return -1;
    }
    return fwrite(data, 1, size, (FILE *)cookie) == size ? (ssize_t)size : -1;
}

static int faultySeek(void *cookie, off64_t *offset, int whence)
{
    if (fseeko((FILE *)cookie, *offset, whence) != 0)
        return -1;
    *offset = ftello((FILE *)cookie);
    return 0;
}

static int faultyClose(void *cookie)
{
    return fclose((FILE *)cookie);
}

// The file behind a stream that counts every write; unbuffered, so that
// each fwrite or fprintf of a writer is one write.
static FILE *dataFaultyStream(FILE *file)
{
    FILE *stream = fopencookie(file, "wb", {nullptr, faultyWrite, faultySeek, faultyClose});
    if (!stream)
        fclose(file);
    else
        setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

int dataReplaceFile(const char *path, bool (*write)(FILE *file, void *context), void *context)
{
    // A bench measures and leaves the asset tree as it found it; the callers
    // only cache or pack, so a skipped write is not their failure.
    if (dataReadOnly)
        return 1;
    std::string temporary = std::string(path) + ".part";
    FILE *file = dataWriteFails() ? nullptr : fopen(temporary.c_str(), "wb");
    if (file && faultAt > 0)
        file = dataFaultyStream(file);
    if (!file)
        return 0;
    bool ok = write(file, context);
    ok = fflush(file) == 0 && ok;
    ok = !ferror(file) && ok;
    ok = fclose(file) == 0 && ok;
    if (ok && !dataWriteFails() && rename(temporary.c_str(), path) == 0)
        return 1;
    remove(temporary.c_str());
    return 0;
}

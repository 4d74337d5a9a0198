// Failing writes through the data layer's write hooks: a counter of the
// writes of dataReplaceFile and a stream that counts every write of a writer.
#include "writefaults.h"

#include <cerrno>

#include "data/replacefile.h"

static long faultAt; // the write that fails; 0: hooks out
static long faultCount;

// Counts one write; true for the one that must fail.
static bool countedWriteFails(void)
{
    return ++faultCount == faultAt;
}

static ssize_t faultyWrite(void *cookie, const char *data, size_t size)
{
    if (countedWriteFails()) {
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
static FILE *faultyStream(FILE *file)
{
    FILE *stream = fopencookie(file, "wb", {nullptr, faultyWrite, faultySeek, faultyClose});
    if (!stream)
        fclose(file);
    else
        setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

void dataFailWrite(long n)
{
    faultAt = n > 0 ? n : 0;
    faultCount = 0;
    dataWriteHooks = faultAt ? DataWriteHooks{countedWriteFails, faultyStream} : DataWriteHooks{};
}

long dataWritesCounted(void)
{
    return faultCount;
}

// The data layer: asset paths, the record of requested names, whole-file
// loads and byte streams over packs and disk files, and saving an asset whole.
#include "data/data.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "data/pack.h"
#include "core/common.h"

char basePath[DATA_PATH_MAX] = "assets/";
int dataRecording;
int dataWriteBack = 1;
DataName *openedFiles;
static DataName *openedLast;

// ---------------------------------------------------------------------------
// Paths and recording
// ---------------------------------------------------------------------------

void dataSetBasePath(const char *path)
{
    logTagged("dataSetBasePath", 56, "New base path for assets:<%s>", path);
    snprintf(basePath, sizeof basePath, "%s", path);
}

void dataAssetPath(char *buffer, size_t size, const char *name)
{
    // Longer paths are cut, as every asset path is.
    if (snprintf(buffer, size, "%s%s", basePath, name) < 0 && size)
        buffer[0] = '\0';
}

void dataRecordName(const char *name)
{
    if (!dataRecording)
        return;
    for (DataName *n = openedFiles; n; n = n->next) {
        if (strcmp(n->name, name) == 0)
            return;
    }
    DataName *node = (DataName *)calloc(1, sizeof(DataName));
    char *copy = strdup(name);
    if (!node || !copy) {
        free(node);
        free(copy);
        return;
    }
    node->name = copy;
    if (openedLast)
        openedLast->next = node;
    else
        openedFiles = node;
    openedLast = node;
}

int dataOpenedCount(void)
{
    int count = 0;
    for (DataName *n = openedFiles; n; n = n->next)
        count++;
    return count;
}

// ---------------------------------------------------------------------------
// Disk helpers
// ---------------------------------------------------------------------------

static FILE *dataOpenDisk(const char *name)
{
    char path[DATA_PATH_MAX + 1];
    dataAssetPath(path, sizeof path, name);
    return fopen(path, "rb");
}

long dataMeasureFile(FILE *file)
{
    if (fseek(file, 0, SEEK_END) != 0)
        return -1;
    long length = ftell(file);
    if (fseek(file, 0, SEEK_SET) != 0 || length < 0 || length > INT32_MAX - 4)
        return -1;
    return length;
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

int32_t dataFileSize(const char *name)
{
    if (DataEntry *entry = dataFindEntry(name))
        return entry->size;
    FILE *file = dataOpenDisk(name);
    if (!file)
        return 0;
    long length = dataMeasureFile(file);
    fclose(file);
    return length > 0 ? (int32_t)length : 0;
}

// The whole of an open file followed by four zero bytes, or null; *length
// is its measured length, -1 when it cannot be measured. A file shorter than
// measured leaves zeros, never stale heap bytes.
static uint8_t *dataReadWhole(FILE *file, long *length)
{
    *length = dataMeasureFile(file);
    uint8_t *data = *length >= 0 ? (uint8_t *)malloc((size_t)*length + 4) : nullptr;
    if (data) {
        size_t got = fread(data, 1, (size_t)*length, file);
        memset(data + got, 0, (size_t)*length + 4 - got);
    }
    return data;
}

uint8_t *dataLoadFile(const char *name, int32_t *size)
{
    int32_t ignored;
    int32_t &loaded = size ? *size : ignored;
    loaded = 0;
    if (DataEntry *entry = dataFindEntry(name)) {
        uint8_t *data = (uint8_t *)malloc((size_t)entry->size + 4);
        if (!data) {
            LOG_TAGGED("Failed to allocate memory for file:%s (%d)", entry->name, entry->size);
            return nullptr;
        }
        size_t got = 0;
        if (fseek(entry->pack->file, entry->offset, SEEK_SET) == 0)
            got = fread(data, 1, (size_t)entry->size, entry->pack->file);
        // A pack that shrank under us leaves zeros, never stale heap bytes.
        memset(data + got, 0, (size_t)entry->size + 4 - got);
        loaded = entry->size;
        return data;
    }

    FILE *file = dataOpenDisk(name);
    uint8_t *data = nullptr;
    if (file) {
        long length;
        data = dataReadWhole(file, &length);
        loaded = data ? (int32_t)length : 0;
        fclose(file);
    }
    if (!data)
        LOG_TAGGED("LoadFile: Failed to find a file: %s", name);
    return data;
}

DataFile *dataFileOpen(const char *name)
{
    DataFile *handle = (DataFile *)calloc(1, sizeof(DataFile));
    if (!handle)
        return nullptr;
    if (DataEntry *entry = dataFindEntry(name)) {
        handle->buffer = (uint8_t *)malloc(DATA_BUFFER_SIZE);
        if (!handle->buffer) {
            free(handle);
            return nullptr;
        }
        handle->mode = DATA_FROM_PACK;
        handle->pack = entry->pack;
        handle->entry = entry;
        handle->bufferCap = DATA_BUFFER_SIZE;
        return handle;
    }
    handle->file = dataOpenDisk(name);
    if (!handle->file) {
        LOG_TAGGED("LoadFile: Failed to find a file: %s", name);
        free(handle);
        return nullptr;
    }
    handle->mode = DATA_FROM_DISK;
    return handle;
}

// Moves the next block of the entry into the buffer; false at its end.
static bool dataRefill(DataFile *handle)
{
    int32_t left = handle->entry->size - handle->position;
    int32_t n = left < handle->bufferCap ? left : handle->bufferCap;
    if (n <= 0)
        return false;
    FILE *pack = handle->pack->file;
    if (fseek(pack, (long)handle->entry->offset + handle->position, SEEK_SET) != 0)
        return false;
    size_t got = fread(handle->buffer, 1, (size_t)n, pack);
    if (got == 0)
        return false;
    handle->position += (int32_t)got;
    handle->bufferFill = (int32_t)got;
    handle->bufferPos = 0;
    return true;
}

int32_t dataFileRead(DataFile *handle, void *dst, int32_t length)
{
    if (!handle || !dst || length <= 0)
        return 0;
    if (handle->mode == DATA_FROM_DISK)
        return (int32_t)fread(dst, 1, (size_t)length, handle->file);

    uint8_t *out = (uint8_t *)dst;
    int32_t delivered = 0;
    for (;;) {
        int32_t buffered = handle->bufferFill - handle->bufferPos;
        int32_t wanted = length - delivered;
        if (wanted <= buffered) {
            memcpy(out + delivered, handle->buffer + handle->bufferPos, (size_t)wanted);
            handle->bufferPos += wanted;
            return length;
        }
        if (buffered > 0) {
            memcpy(out + delivered, handle->buffer + handle->bufferPos, (size_t)buffered);
            delivered += buffered;
            handle->bufferPos += buffered;
        }
        if (!dataRefill(handle))
            return delivered;
    }
}

char *dataFileGets(DataFile *handle, char *buffer, int max)
{
    int stored = 0;
    char c;
    while (stored < max && dataFileRead(handle, &c, 1) == 1) {
        buffer[stored++] = c;
        if (c == '\n')
            break;
    }
    if (stored == 0)
        return nullptr;
    buffer[stored] = '\0';
    return buffer;
}

void dataFileClose(DataFile *handle)
{
    if (!handle)
        return;
    free(handle->buffer);
    if (handle->file)
        fclose(handle->file);
    free(handle);
}

uint8_t *dataLoadFileAny(const char *name, int32_t *size)
{
    if (uint8_t *data = dataLoadFile(name, size))
        return data;
    FILE *file = fopen(name, "rb");
    if (!file)
        return nullptr;
    long length;
    uint8_t *data = dataReadWhole(file, &length);
    fclose(file);
    if (!data) {
        if (length >= 0)
            printf("Not enough memory to load file (%d)\n", (int)length);
        return nullptr;
    }
    if (size)
        *size = (int32_t)length;
    return data;
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

struct DataBlock {
    const void *data;
    size_t size;
};

static bool dataWriteBlock(FILE *file, void *context)
{
    const DataBlock *block = (const DataBlock *)context;
    return block->size == 0 || fwrite(block->data, 1, block->size, file) == block->size;
}

int dataSaveFile(const char *name, const void *data, int32_t size)
{
    char path[DATA_PATH_MAX + 1];
    dataAssetPath(path, sizeof path, name);
    DataBlock block = {data, size > 0 ? (size_t)size : 0};
    if (!dataReplaceFile(path, dataWriteBlock, &block)) {
        LOG_TAGGED("Could not open file for writing:<%s>\n", path);
        return 0;
    }
    return 1;
}

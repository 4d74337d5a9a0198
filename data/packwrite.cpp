// Writing data packs: the table and the entries' bytes, through a temporary
// file that replaces the pack only when complete.
#include "data/packwrite.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/replacefile.h"

static void writeLE32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

static void packRecordBytes(const PackRecord &r, bool last, uint8_t out[PACK_RECORD_SIZE])
{
    memset(out, 0, PACK_RECORD_SIZE);
    writeLE32(out, last ? 0 : 1);
    writeLE32(out + 4, last ? 0 : 1);
    memcpy(out + 8, r.name, PACK_NAME_SIZE);
    writeLE32(out + 264, (uint32_t)r.size);
    writeLE32(out + 268, (uint32_t)r.offset);
}

static bool packWriteTable(FILE *file, const PackBuild &build)
{
    uint8_t header[PACK_HEADER_SIZE];
    memcpy(header, "DATA", 4);
    writeLE32(header + 4, build.records.empty() ? 0 : 1);
    if (fseek(file, 0, SEEK_SET) != 0 || fwrite(header, 1, sizeof header, file) != sizeof header)
        return false;
    for (size_t i = 0; i < build.records.size(); i++) {
        uint8_t record[PACK_RECORD_SIZE];
        packRecordBytes(build.records[i], i + 1 == build.records.size(), record);
        if (fwrite(record, 1, sizeof record, file) != sizeof record)
            return false;
    }
    return true;
}

static bool packWrite(FILE *file, void *context)
{
    PackBuild &build = *(PackBuild *)context;
    if (!packWriteTable(file, build))
        return false;
    long offset = PACK_HEADER_SIZE + PACK_RECORD_SIZE * (long)build.records.size();
    long copied = 0;
    for (size_t i = 0; i < build.records.size(); i++) {
        PackRecord &r = build.records[i];
        if (build.announce)
            printf("[DATA]: Loading %ld: %s (%ld)\n", copied, r.name, (long)r.size);
        long length = 0;
        uint8_t *data = r.size > 0 ? build.load(build, i, &length) : nullptr;
        if (data && offset + length > INT32_MAX) {
            free(data);
            data = nullptr;
        }
        r.offset = (int32_t)offset;
        if (!data) {
            if (build.announce)
                printf("[DATA]: Failed to load file:%s\n", r.name);
            r.size = 0;
            continue;
        }
        bool written = length == 0 || fwrite(data, 1, (size_t)length, file) == (size_t)length;
        free(data);
        if (!written)
            return false;
        r.size = (int32_t)length;
        offset += length;
        copied++;
    }
    return packWriteTable(file, build);
}

int dataWritePackRecords(const char *path, PackBuild *build)
{
    return dataReplaceFile(path, packWrite, build);
}

static uint8_t *packLoadSource(const PackBuild &build, size_t i, long *length)
{
    const PackSource &source = build.sources[i];
    *length = source.size;
    uint8_t *copy = (uint8_t *)malloc((size_t)source.size + 1);
    if (copy && source.size)
        memcpy(copy, source.data, (size_t)source.size);
    return copy;
}

int dataWritePack(const char *path, const PackSource *entries, int count)
{
    PackBuild build;
    build.load = packLoadSource;
    build.sources = entries;
    build.announce = false;
    for (int i = 0; i < count; i++) {
        PackRecord r;
        memset(&r, 0, sizeof r);
        size_t length = strlen(entries[i].name);
        if (length >= PACK_NAME_SIZE || entries[i].size < 0)
            return 0;
        memcpy(r.name, entries[i].name, length);
        r.size = entries[i].size;
        build.records.push_back(r);
    }
    if (build.records.empty())
        return 0;
    return dataWritePackRecords(path, &build);
}

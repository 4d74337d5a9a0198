// Data packs: reading the table of a pack, finding entries by name, and
// building "demo.dat" from the names a development run requested (written by
// packwrite.cpp).
#include "data/pack.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "data/data.h"

DataPack *dataPacks;

static const char kPackName[] = "demo.dat";
static const char kProgdir[] = "progdir:";

static uint32_t readLE32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// ASCII letters only: names are file names, not text.
static void foldCase(char *s)
{
    for (; *s; s++) {
        if (*s >= 'A' && *s <= 'Z')
            *s = (char)(*s - 'A' + 'a');
    }
}

// ---------------------------------------------------------------------------
// Reading packs
// ---------------------------------------------------------------------------

DataPack *dataOpenPack(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return nullptr;
    uint8_t header[PACK_HEADER_SIZE];
    long length = dataMeasureFile(file);
    if (length < PACK_HEADER_SIZE || fread(header, 1, sizeof header, file) != sizeof header ||
        memcmp(header, "DATA", 4) != 0) {
        fclose(file);
        return nullptr;
    }

    DataPack *pack = (DataPack *)calloc(1, sizeof(DataPack));
    if (!pack) {
        fclose(file);
        return nullptr;
    }
    pack->file = file;
    DataEntry **tail = &pack->entries;
    uint8_t record[PACK_RECORD_SIZE];
    uint32_t more = 1;
    // A table cut short keeps the complete records before the cut.
    while (more && fread(record, 1, sizeof record, file) == sizeof record) {
        more = readLE32(record);
        char name[PACK_NAME_SIZE];
        memcpy(name, record + 8, PACK_NAME_SIZE);
        name[PACK_NAME_SIZE - 1] = '\0';
        int64_t size = (int32_t)readLE32(record + 264);
        int64_t offset = (int32_t)readLE32(record + 268);
        if (size < 0 || offset < 0 || offset + size > length) {
            printf("[DATA]: Entry %s of %s lies outside the pack. Ignored\n", name, path);
            continue;
        }
        DataEntry *entry = (DataEntry *)calloc(1, sizeof(DataEntry));
        char *copy = strdup(name);
        if (!entry || !copy) {
            free(entry);
            free(copy);
            dataClosePack(pack);
            return nullptr;
        }
        foldCase(copy);
        entry->pack = pack;
        entry->name = copy;
        entry->size = (int32_t)size;
        entry->offset = (int32_t)offset;
        *tail = entry;
        tail = &entry->next;
    }

    DataPack **last = &dataPacks;
    while (*last)
        last = &(*last)->next;
    *last = pack;
    return pack;
}

DataEntry *dataFindEntry(const char *name)
{
    dataRecordName(name);
    if (!dataPacks)
        return nullptr;
    char key[DATA_PATH_MAX + 1];
    snprintf(key, sizeof key, "%s", name);
    foldCase(key);
    const char *lookup = key;
    if (strlen(key) > 8 && strncmp(key, kProgdir, 8) == 0)
        lookup += 8;
    for (DataPack *pack = dataPacks; pack; pack = pack->next) {
        for (DataEntry *entry = pack->entries; entry; entry = entry->next) {
            if (strcmp(entry->name, lookup) == 0)
                return entry;
        }
    }
    return nullptr;
}

void dataClosePack(DataPack *pack)
{
    if (!pack)
        return;
    for (DataPack **link = &dataPacks; *link; link = &(*link)->next) {
        if (*link == pack) {
            *link = pack->next;
            break;
        }
    }
    DataEntry *entry = pack->entries;
    while (entry) {
        DataEntry *next = entry->next;
        free(entry->name);
        free(entry);
        entry = next;
    }
    if (pack->file)
        fclose(pack->file);
    free(pack);
}

// ---------------------------------------------------------------------------
// Building "demo.dat"
// ---------------------------------------------------------------------------

// Reads the whole asset; null (with its message) when that is not possible.
static uint8_t *packLoadAsset(const PackBuild &build, size_t i, long *length)
{
    char path[DATA_PATH_MAX + 1];
    dataAssetPath(path, sizeof path, build.records[i].name);
    FILE *file = fopen(path, "rb");
    if (!file)
        return nullptr;
    uint8_t *data = nullptr;
    *length = dataMeasureFile(file);
    if (*length >= 0)
        data = (uint8_t *)calloc((size_t)*length + 1, 1);
    if (data) {
        size_t got = fread(data, 1, (size_t)*length, file);
        if (got != (size_t)*length) {
            // A short read would put zeros in the pack in place of the file.
            if (got > 0)
                printf("[DATA]: Failed to load whole file (readed:%d from %d bytes)\n", (int)got, (int)*length);
            free(data);
            data = nullptr;
        }
    }
    fclose(file);
    return data;
}

int dataBuildPack(char **names)
{
    PackBuild build;
    build.load = packLoadAsset;
    build.sources = nullptr;
    build.announce = true;
    for (char **n = names; n && *n; n++) {
        const char *name = *n;
        if (strstr(name, ".wav") || strstr(name, ".mp3")) {
            printf("Removed %s from data building\n", name);
            continue;
        }
        printf("Accepted %s from file list\n", name);
        PackRecord r;
        memset(&r, 0, sizeof r);
        size_t length = strlen(name);
        if (length && name[length - 1] == '\n')
            length--;
        if (length >= PACK_NAME_SIZE) {
            printf("[DATA]: Name too long for the pack. Ignore!:%s\n", name);
            continue;
        }
        memcpy(r.name, name, length);
        char path[DATA_PATH_MAX + 1];
        dataAssetPath(path, sizeof path, r.name);
        FILE *file = fopen(path, "rb");
        if (!file) {
            printf("[DATA]: File not found. Ignore!:%s\n", r.name);
        } else {
            long size = dataMeasureFile(file);
            r.size = size > 0 ? (int32_t)size : 0;
            fclose(file);
        }
        build.records.push_back(r);
    }
    // Nothing to pack: an empty table cannot be written, so no file is.
    if (build.records.empty())
        return 0;
    if (!dataWritePackRecords(kPackName, &build)) {
        printf("[DATA]: Failed to write %s; the old pack is kept\n", kPackName);
        return 0;
    }
    return 1;
}

// Data packs: one file holding many assets, looked up by name without regard
// to case. A development run writes "demo.dat" with every asset it asked for;
// a release run reads from it.
#pragma once

#include <cstdint>
#include <cstdio>

// Pack file layout, little-endian: "DATA", a word, then one record per entry
// and the entries' bytes back to back after the table.
enum {
    PACK_HEADER_SIZE = 8,
    PACK_RECORD_SIZE = 272,
    PACK_NAME_SIZE = 256, // zero-terminated: at most 255 characters
};

struct DataEntry {
    DataEntry *next;
    struct DataPack *pack;
    char *name;     // folded to lower case
    int32_t size;
    int32_t offset; // absolute position of the data in the pack
};

struct DataPack {
    DataPack *next;
    FILE *file;
    DataEntry *entries;
};

extern DataPack *dataPacks; // open packs, in opening order

// Null when the file is missing or not a pack. Records that end early, or
// whose data would lie outside the file, are not served.
DataPack *dataOpenPack(const char *path);
// Records the name when recording is on, then finds its entry: case folded,
// a leading "progdir:" ignored, earlier packs first.
DataEntry *dataFindEntry(const char *name);
void dataClosePack(DataPack *pack);
// One entry of a pack written from memory.
struct PackSource {
    const char *name; // at most 255 characters, case kept
    const uint8_t *data;
    int32_t size;
};
// Writes a pack from memory (the production's "demotrk.dat"), replacing the
// file only when complete. 1 on success.
int dataWritePack(const char *path, const PackSource *entries, int count);

// Writes "demo.dat" in the working directory from the null-terminated list of
// names, reading each file under the base path. 1 when a pack was written.
int dataBuildPack(char **names);

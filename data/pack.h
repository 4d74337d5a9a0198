// Data packs: one file holding many assets, looked up by name without regard
// to case. A development run writes "demo.dat" with every asset it asked for;
// a release run reads from it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "data/packwrite.h" // Required for: the file layout, dataWritePack()

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
// Writes "demo.dat" in the working directory from the null-terminated list of
// names, reading each file under the base path. 1 when a pack was written.
int dataBuildPack(char **names);

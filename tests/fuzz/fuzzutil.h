// Shared by the fuzz targets: a private scratch directory, packs made from
// memory, and putting the engine's process-wide state back between inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct DataPack;

// ---------------------------------------------------------------------------
// Set-up, once per process
// ---------------------------------------------------------------------------
// Makes the scratch directory (removed at exit) and silences the data layer's
// recording and write-back. With diskAssets the base path is the scratch
// directory; otherwise it is a folder that does not exist, so that every
// asset comes from the packs and no name can reach the rest of the disk.
void fuzzInit(bool diskAssets);
const std::string &fuzzScratch(void); // the scratch directory, with a trailing '/'

// ---------------------------------------------------------------------------
// Files and packs
// ---------------------------------------------------------------------------
// Writes the bytes to the scratch directory under name; the full path.
std::string fuzzWriteFile(const char *name, const uint8_t *data, size_t size);

// One file of a memory pack.
struct FuzzEntry {
    const char *name;
    const uint8_t *data;
    size_t size;
};
// A pack holding the entries, written by the engine's own pack writer to the
// scratch directory and opened: null when it could not be.
DataPack *fuzzOpenPack(const FuzzEntry *entries, int count);
void fuzzClosePacks(void); // every open pack, whoever opened it

// ---------------------------------------------------------------------------
// Variables
// ---------------------------------------------------------------------------
// A scalar, a colour and a vector under names the production's files use,
// registered on the first call; every later call puts their defaults back.
void fuzzResetVariables(void);

// ---------------------------------------------------------------------------
// Input helpers
// ---------------------------------------------------------------------------
uint64_t fuzzHash(const uint8_t *data, size_t size); // FNV-1a: a seed that depends on the whole input

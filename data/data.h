// The data layer: every asset the demo reads comes through here, from the
// open packs or from the asset tree under the base path, and a development
// run records the name of each asset it asked for.
#pragma once

#include <cstdint>
#include <cstdio>

#include "data/replacefile.h" // Required for: dataReadOnly, dataReplaceFile()

struct DataPack;
struct DataEntry;

enum {
    DATA_PATH_MAX = 1024,     // base path and asset paths
    DATA_BUFFER_SIZE = 32762, // read buffer of a stream over a pack entry
};

// Put in front of every asset name on disk; set once at start-up.
extern char basePath[DATA_PATH_MAX];
extern int dataRecording; // record every requested name (development runs)
extern int dataWriteBack; // write variable files and object caches into the tree (cleared in release runs)

// Names requested while recording, in order of first request, no duplicates.
struct DataName {
    char *name;
    DataName *next;
};
extern DataName *openedFiles;

// A byte stream over a pack entry (mode 0) or a disk file (mode 1).
enum { DATA_FROM_PACK = 0, DATA_FROM_DISK = 1 };
struct DataFile {
    int32_t mode;
    DataPack *pack;     // mode 0
    DataEntry *entry;   // mode 0
    FILE *file;         // mode 1
    int32_t position;   // bytes of the entry moved into the buffer
    uint8_t *buffer;    // mode 0 only
    int32_t bufferPos;  // next unread byte
    int32_t bufferCap;  // DATA_BUFFER_SIZE
    int32_t bufferFill; // valid bytes in the buffer
};

// ---------------------------------------------------------------------------
// Paths and recording
// ---------------------------------------------------------------------------
void dataSetBasePath(const char *path); // announces it; at most 1023 characters are kept
void dataRecordName(const char *name);  // adds to openedFiles while recording
int dataOpenedCount(void);

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------
// The whole asset followed by four zero bytes (free() it), or null; *size,
// when asked for, takes the number of bytes before the zeros.
uint8_t *dataLoadFile(const char *name, int32_t *size = nullptr);
// Size of the asset, 0 when it does not exist (callers test existence with it).
int32_t dataFileSize(const char *name);
DataFile *dataFileOpen(const char *name);
int32_t dataFileRead(DataFile *file, void *dst, int32_t length); // bytes delivered
// One line, its newline kept; buffer holds max + 1 bytes. Null at the end.
char *dataFileGets(DataFile *file, char *buffer, int max);
void dataFileClose(DataFile *file);
// dataLoadFile, then the name relative to the working directory. *size is
// the length of the buffer the bytes came from: the size of one source and
// the bytes of another must never be paired.
uint8_t *dataLoadFileAny(const char *name, int32_t *size = nullptr);

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------
// Writes the buffer to basePath + name. The old file is replaced only by a
// complete new one. 1 on success.
int dataSaveFile(const char *name, const void *data, int32_t size);

// Length of an open file, rewound to its start; -1 when it cannot be measured
// or is too large for an asset.
long dataMeasureFile(FILE *file);

// Builds "basePath + name" into buffer (cut to size - 1 characters).
void dataAssetPath(char *buffer, size_t size, const char *name);

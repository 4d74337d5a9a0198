// Writing data packs: the file layout, the pack of in-memory entries the
// production builder writes ("demotrk.dat"), and the table-and-data writer
// that the demo's own "demo.dat" goes through too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Pack file layout, little-endian: "DATA", a word, then one record per entry
// and the entries' bytes back to back after the table.
enum {
    PACK_HEADER_SIZE = 8,
    PACK_RECORD_SIZE = 272,
    PACK_NAME_SIZE = 256, // zero-terminated: at most 255 characters
};

// One entry of a pack written from memory.
struct PackSource {
    const char *name; // at most 255 characters, case kept
    const uint8_t *data;
    int32_t size;
};
// Writes a pack from memory (the production's "demotrk.dat"), replacing the
// file only when complete. 1 on success.
int dataWritePack(const char *path, const PackSource *entries, int count);

// A pack being written: its records and where their bytes come from.
struct PackRecord {
    char name[PACK_NAME_SIZE];
    int32_t size;   // measured when accepted, then the bytes really copied
    int32_t offset;
};
struct PackBuild {
    std::vector<PackRecord> records;
    // The bytes of record i (free()d by the writer), or null when unavailable.
    uint8_t *(*load)(const PackBuild &build, size_t i, long *length);
    const PackSource *sources; // in-memory entries, for dataWritePack
    bool announce;             // print the builder's progress lines
};
// Writes table and data, then the table again with the sizes and offsets of
// the bytes really copied, so that table and data always agree; a record
// whose bytes cannot be loaded stays in the table, empty. Replaces path only
// when complete. 1 on success.
int dataWritePackRecords(const char *path, PackBuild *build);

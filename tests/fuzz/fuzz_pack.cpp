// Packs of arbitrary bytes: opening, finding every entry by its name, and
// reading each one whole and as a stream, which must agree.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/pack.h"
#include "fuzzutil.h"

// Read sizes of the stream, cycled: single bytes, odd sizes, and more than
// any small buffer holds.
static const int32_t kChunks[] = {1, 3, 64, 7, 1000, 2};

// The entry streamed through a buffer of bufferCap bytes, in cycled chunks.
static std::string streamEntry(const char *name, int32_t bufferCap)
{
    std::string bytes;
    DataFile *file = dataFileOpen(name);
    if (!file)
        return "<none>";
    if (file->mode == DATA_FROM_PACK)
        file->bufferCap = bufferCap; // a small buffer brings every refill boundary within reach
    char chunk[1000];
    for (int i = 0;; i++) {
        int32_t want = kChunks[i % (sizeof kChunks / sizeof kChunks[0])];
        int32_t got = dataFileRead(file, chunk, want);
        if (got < 0 || got > want)
            abort();
        bytes.append(chunk, (size_t)got);
        if (got < want)
            break;
    }
    if (dataFileRead(file, chunk, 1) != 0) // the end stays the end
        abort();
    dataFileClose(file);
    return bytes;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzInit(false);
    std::string path = fuzzWriteFile("fuzz.dat", data, size);
    DataPack *pack = dataOpenPack(path.c_str());
    if (!pack)
        return 0;

    std::vector<std::string> names;
    for (DataEntry *entry = pack->entries; entry; entry = entry->next)
        names.push_back(entry->name);
    int32_t bufferCap = 1 + (int32_t)(size % 97);
    for (const std::string &name : names) {
        // Whatever it finds, the whole load and the stream deliver the same bytes.
        DataEntry *entry = dataFindEntry(name.c_str());
        int32_t length = dataFileSize(name.c_str());
        uint8_t *whole = dataLoadFile(name.c_str());
        std::string streamed = streamEntry(name.c_str(), bufferCap);
        if (entry && (length != entry->size || !whole || streamed != std::string((char *)whole, (size_t)length) ||
                      memcmp(whole + length, "\0\0\0\0", 4) != 0))
            abort();
        free(whole);

        // Lines, over the same stream.
        if (DataFile *file = dataFileOpen(name.c_str())) {
            char line[17];
            while (dataFileGets(file, line, 16)) {
            }
            dataFileClose(file);
        }
        std::string upper = "PROGDIR:" + name;
        for (char &c : upper)
            c = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);
        dataFindEntry(upper.c_str());
    }
    fuzzClosePacks();
    return 0;
}

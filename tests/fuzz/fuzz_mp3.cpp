// MP3 files of arbitrary bytes, opened and measured through a temporary file
// as the host opens the music.
#include <cstdlib>
#include <string>

#include "fuzzutil.h"
#include "platform/audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzInit(false);
    std::string path = fuzzWriteFile("fuzz.mp3", data, size);
    if (AudioStream *stream = audioStreamOpen(path.c_str())) {
        if (!(audioStreamLength(stream) > 0.0))
            abort();
        audioStreamClose(stream);
    }
    return 0;
}

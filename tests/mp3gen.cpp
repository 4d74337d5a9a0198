// MP3 files for the tests, encoded with LAME from a generated tone.
#include "mp3gen.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

bool writeToneMp3(const std::string &path, double seconds, int rate)
{
    lame_global_flags *lame = lame_init();
    if (!lame)
        return false;
    lame_set_in_samplerate(lame, rate);
    lame_set_out_samplerate(lame, rate);
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, 128);
    lame_set_quality(lame, 7);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return false;
    }
    int frames = (int)(seconds * rate);
    std::vector<short> left(frames), right(frames);
    for (int i = 0; i < frames; i++) {
        double t = (double)i / rate;
        left[i] = (short)(8000.0 * std::sin(2.0 * M_PI * 440.0 * t));
        right[i] = (short)(8000.0 * std::sin(2.0 * M_PI * 660.0 * t));
    }
    std::vector<unsigned char> out(frames * 5 / 4 + 7200 + 16384);
    int n = lame_encode_buffer(lame, left.data(), right.data(), frames, out.data(), (int)out.size());
    if (n < 0) {
        lame_close(lame);
        return false;
    }
    int tail = lame_encode_flush(lame, out.data() + n, (int)out.size() - n);
    if (tail < 0) {
        lame_close(lame);
        return false;
    }
    // The first frame was reserved for the LAME tag; filled in, it tells the
    // decoder the encoder delay and padding, so the decoded length is exact.
    unsigned char tag[2880];
    size_t tagSize = lame_get_lametag_frame(lame, tag, sizeof tag);
    lame_close(lame);
    if (tagSize > 0 && tagSize <= (size_t)(n + tail))
        std::copy(tag, tag + tagSize, out.begin());
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(out.data(), 1, (size_t)(n + tail), file) == (size_t)(n + tail);
    return fclose(file) == 0 && ok;
}

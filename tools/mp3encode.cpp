// MP3 encoding of the builder's music with LAME.
#include "mp3encode.h"

#include <lame/lame.h>

#include <algorithm>
#include <memory>

#include "synth.h" // Required for: SYN_RATE

namespace {

constexpr int kChunk = 1152 * 64; // samples handed to the encoder at a time

struct LameCloser {
    void operator()(lame_global_flags *lame) const { lame_close(lame); }
};

} // namespace

bool mp3Encode(const std::vector<float> &left, const std::vector<float> &right, std::string *bytes,
               std::string *error)
{
    if (left.size() != right.size()) {
        *error = "channels differ in length";
        return false;
    }
    std::unique_ptr<lame_global_flags, LameCloser> lame(lame_init());
    if (!lame) {
        *error = "cannot start the MP3 encoder";
        return false;
    }
    lame_set_in_samplerate(lame.get(), SYN_RATE);
    lame_set_out_samplerate(lame.get(), SYN_RATE);
    lame_set_num_channels(lame.get(), 2);
    lame_set_mode(lame.get(), JOINT_STEREO);
    lame_set_brate(lame.get(), MP3_KBPS);
    lame_set_quality(lame.get(), 2);
    lame_set_bWriteVbrTag(lame.get(), 1); // reserves the first frame for the LAME tag
    if (lame_init_params(lame.get()) < 0) {
        *error = "the MP3 encoder refused its settings";
        return false;
    }
    bytes->clear();
    bytes->reserve(left.size() * MP3_KBPS * 1000 / 8 / SYN_RATE + 65536);
    // LAME's worst case for a buffer: 1.25 bytes a sample plus 7200.
    std::vector<unsigned char> out(kChunk * 5 / 4 + 7200);
    for (size_t at = 0; at < left.size(); at += kChunk) {
        int count = (int)std::min<size_t>(kChunk, left.size() - at);
        int n = lame_encode_buffer_ieee_float(lame.get(), left.data() + at, right.data() + at, count, out.data(),
                                              (int)out.size());
        if (n < 0) {
            *error = "the MP3 encoder failed (" + std::to_string(n) + ")";
            return false;
        }
        bytes->append((const char *)out.data(), (size_t)n);
    }
    int n = lame_encode_flush(lame.get(), out.data(), (int)out.size());
    if (n < 0) {
        *error = "the MP3 encoder failed to flush (" + std::to_string(n) + ")";
        return false;
    }
    bytes->append((const char *)out.data(), (size_t)n);
    // The reserved first frame becomes the LAME tag: with the encoder delay and
    // padding in it, decoders give back exactly the samples we encoded.
    unsigned char tag[2880];
    size_t tagSize = lame_get_lametag_frame(lame.get(), tag, sizeof tag);
    if (tagSize == 0 || tagSize > sizeof tag || tagSize > bytes->size()) {
        *error = "the MP3 encoder gave no LAME tag";
        return false;
    }
    std::copy(tag, tag + tagSize, bytes->begin());
    return true;
}

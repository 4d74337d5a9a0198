// MP3 encoding of the builder's music with LAME: 44.1 kHz stereo, with the
// LAME tag frame that tells decoders the exact length.
#pragma once

#include <string>
#include <vector>

enum { MP3_KBPS = 192 };

// Encodes float samples in -1..1 (both channels the same length) as a
// constant-rate MP3 into bytes. False with a reason.
bool mp3Encode(const std::vector<float> &left, const std::vector<float> &right, std::string *bytes,
               std::string *error);

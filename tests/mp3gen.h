// Writes short MP3 files for the tests: a tone, encoded as the production's
// music is.
#pragma once

#include <string>

// A stereo tone of the given length at 44.1 kHz. True on success.
bool writeToneMp3(const std::string &path, double seconds);

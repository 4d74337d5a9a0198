// Writes short MP3 files for the tests: a tone encoded with LAME.
#pragma once

#include <string>

// A stereo tone of the given length at 44.1 kHz, 128 kbit/s. True on success.
bool writeToneMp3(const std::string &path, double seconds, int rate = 44100);

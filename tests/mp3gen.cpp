// MP3 files for the tests, encoded from a generated tone.
#include "mp3gen.h"

#include <cmath>
#include <fstream>
#include <vector>

#include "mp3encode.h"

bool writeToneMp3(const std::string &path, double seconds)
{
    const int rate = 44100;
    size_t frames = (size_t)(seconds * rate);
    std::vector<float> left(frames), right(frames);
    for (size_t i = 0; i < frames; i++) {
        double t = (double)i / rate;
        left[i] = (float)(0.25 * std::sin(2.0 * M_PI * 440.0 * t));
        right[i] = (float)(0.25 * std::sin(2.0 * M_PI * 660.0 * t));
    }
    std::string bytes, error;
    if (!mp3Encode(left, right, &bytes, &error))
        return false;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), (std::streamsize)bytes.size());
    file.close();
    return (bool)file;
}

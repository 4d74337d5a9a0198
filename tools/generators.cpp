// The identities of the generators: the hash of their sources that the build
// writes into generators.h, and the versions of the libraries whose code
// decides the bytes (the MP3 encoder, the PNG compressor).
#include <lame/lame.h>
#include <png.h>
#include <zlib.h>

#include "generators.h"
#include "tree.h"

std::string generatorIdentity(const std::string &part)
{
    std::string identity;
    if (part == "music")
        identity = std::string(BUILD_GENERATOR_MUSIC) + " lame " + get_lame_version();
    else if (part == "pictures")
        identity = std::string(BUILD_GENERATOR_PICTURES) + " png " + png_get_libpng_ver(nullptr) + " zlib " + zlibVersion();
    else
        identity = BUILD_GENERATOR_OBJECTS;
    return identity;
}

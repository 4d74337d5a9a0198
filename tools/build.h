// The production builder: writes the asset tree of the default production
// ("Vantorel/") from the sources in production/ and from generators of its own
// (music, pictures, objects). Every part is deterministic: two builds give
// byte-identical trees.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One file of the tree as a part computed it.
struct BuildFile {
    std::string name; // relative to the tree, "textures/fish/txt1.png"
    std::string bytes;
};

struct BuildContext {
    std::string source;             // production/ sources: timeline, variable files, assets
    std::string scratch;            // a private directory for encoders that only write files
    std::vector<BuildFile> *files;  // what the part being computed gives, in its order
};

// ---------------------------------------------------------------------------
// Output (build.cpp)
// ---------------------------------------------------------------------------
// The parts never write into the tree themselves: they hand their files over
// here, and the tree is updated only once every part succeeded.
// Adds a file to the part's output. False with a reason.
bool buildWrite(const BuildContext &ctx, const std::string &relative, const std::string &bytes, std::string *error);
// Adds 0xAARRGGBB pixels as an 8-bit RGB (or RGBA) PNG file.
bool buildWritePNG(const BuildContext &ctx, const std::string &relative, const uint32_t *pixels, int width,
                   int height, bool alpha, std::string *error);
// A whole file into bytes. False when it cannot be read.
bool buildReadFile(const std::string &path, std::string *bytes);
// FNV-1a, 64 bits: the content hash of the manifest and the keys.
uint64_t buildHash(const std::string &bytes, uint64_t seed = 0xcbf29ce484222325ull);
std::string buildHex(uint64_t value); // 16 lowercase digits

// ---------------------------------------------------------------------------
// Reading the sources (variables.cpp)
// ---------------------------------------------------------------------------
std::vector<std::string> buildSplit(const std::string &line); // whitespace-separated tokens
bool buildReadSource(const BuildContext &ctx, const std::string &relative, std::string *text, std::string *error);
bool buildParseNumber(const std::string &token, double *value); // the whole token, or false

// ---------------------------------------------------------------------------
// The parts of the production, in build order
// ---------------------------------------------------------------------------
bool buildMusic(const BuildContext &ctx, std::string *error);     // "music.mp3" (music.cpp)
bool buildPictures(const BuildContext &ctx, std::string *error);  // textures, logos, greetings, glitch frames (pictures.cpp)
bool buildObjects(const BuildContext &ctx, std::string *error);   // "lwobj/..." (objects.cpp)
bool buildVariables(const BuildContext &ctx, std::string *error); // the ".vars" files (variables.cpp)
bool buildTracks(const BuildContext &ctx, std::string *error);    // track files and "demotrk.dat" (timeline.cpp)

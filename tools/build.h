// The production builder: writes the asset tree of the default production
// ("Vantorel/") from the sources in production/ and from generators of its own
// (music, pictures, objects). Every part is deterministic: two builds give
// byte-identical trees.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BuildContext {
    std::string source; // production/ sources: timeline, variable files
    std::string out;    // the tree being written
};

// ---------------------------------------------------------------------------
// Output (build.cpp)
// ---------------------------------------------------------------------------
// Writes a file of the tree, creating its directories. False with a reason.
bool buildWrite(const BuildContext &ctx, const std::string &relative, const std::string &bytes, std::string *error);
// Writes 0xAARRGGBB pixels as an 8-bit RGB (or RGBA) PNG file of the tree.
bool buildWritePNG(const BuildContext &ctx, const std::string &relative, const uint32_t *pixels, int width,
                   int height, bool alpha, std::string *error);

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

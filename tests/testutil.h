// Shared helpers for the tests: temporary directories, running the program,
// reading files back.
#pragma once

// The standard headers and GoogleTest, for every test file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "render/bitmap.h"
#include "render/object.h"
#include "sync/sync.h"

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct RunResult {
    int exitCode = -1; // -1 when the program ended by a signal
    int signal = 0;
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs the program built from this tree (or another program of the tests)
// in cwd with the arguments; env holds NAME=value settings added to (or, with
// an empty value, removed from) the inherited environment. A run longer than
// timeoutSeconds is killed.
RunResult runVantorel(const std::string &cwd, const std::vector<std::string> &args,
                      const std::vector<std::pair<std::string, std::string>> &env = {},
                      double timeoutSeconds = 60.0, const char *program = nullptr);

bool makeDirs(const std::string &path);
std::string readFile(const std::string &path);
bool writeFile(const std::string &path, const std::string &data);
std::vector<std::string> listDir(const std::string &path); // sorted names, without . and ..
uint64_t hashBytes(const std::string &data);               // FNV-1a, for comparing files
uint32_t be32(const std::string &s, size_t at);            // big-endian word at a byte offset
std::string trackFile(const std::vector<SyncKey> &keys);  // a track file, by the engine's encoder

// Gives an asset tree the production's pictures and objects (built once per
// test run by the fixture, named by VANTOREL_PRODUCTION_TREE): the picture
// folders are linked, the objects copied, since a development run writes its
// converted objects beside them. False when there is no production tree.
bool addProductionAssets(const std::string &tree);
// The whole production tree (tracks, variable files, music and all) at to,
// its pictures and music linked, the rest copied; the folder `without` (if
// any) left out. False when there is no production tree.
bool copyProductionTree(const std::string &to, const char *without = nullptr);

// Runs f with standard output captured; returns what it printed.
std::string captured(const std::function<void()> &f);

// A mesh of the points and triangles (corner indices), messages swallowed.
Object *meshOf(const std::vector<std::array<int32_t, 3>> &points, const std::vector<std::array<int, 3>> &tris);
struct ObjectDeleter {
    void operator()(Object *object) const { obj_Free(object); }
};
using ObjectPtr = std::unique_ptr<Object, ObjectDeleter>;
struct TextureDeleter {
    void operator()(Texture *texture) const { txt_FreeTexture(texture); }
};
using TexturePtr = std::unique_ptr<Texture, TextureDeleter>;
inline uint32_t *words(Texture *texture) { return (uint32_t *)texture->bitmap->pixels; } // a 32-bit texture's pixels

// A frame's block between margins of sentinel words; frame is its row 0.
// With guardRows, fill() leaves the sentinel in the block's guard rows too,
// and intact() checks them with the margins.
struct GuardedFrame {
    static constexpr uint32_t kSentinel = 0xDEADBEEFu;
    static constexpr int kMargin = 8192;
    std::vector<uint32_t> memory;
    uint32_t *block, *frame;
    bool guardRows;
    explicit GuardedFrame(uint32_t fill = 0, bool guardRows = false);
    GuardedFrame(const GuardedFrame &) = delete;
    void fill(uint32_t value);
    void copyFrom(const GuardedFrame &other) { std::copy(other.memory.begin(), other.memory.end(), memory.begin()); }
    uint32_t &at(int x, int y) { return frame[y * FRAME_WIDTH + x]; }
    uint32_t *picture() { return frame + PICTURE_OFFSET_PIXELS; }
    bool intact() const;
};

// Success when the n words at a and b agree; otherwise names the first that
// differs, with both its values.
testing::AssertionResult sameWords(const uint32_t *a, const uint32_t *b, size_t n);
testing::AssertionResult sameWords(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b);

// FNV-1a of a frame's 240 visible rows.
uint64_t frameHash(const uint32_t *frame);
// Writes a whole frame (320 x 240) as a PNG, for looking at it.
bool writeFramePNG(const std::string &path, const uint32_t *frame);
// Golden values. Each is checked, unless VANTOREL_UPDATE_GOLDEN=DIR is in the
// environment: then nothing is checked, every value is printed as
// "name: 0x...ull" to be pasted into its test, and every golden frame is
// written as DIR/name.png, to be looked at before the new values are taken.
void checkGolden(uint64_t value, uint64_t golden, const std::string &name);
// The same for a frame, by its frameHash.
void checkGoldenFrame(const uint32_t *frame, uint64_t golden, const std::string &name);

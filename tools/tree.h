// Keeping the asset tree up to date in place: the manifest of what the
// builder wrote, the cache of generated parts, the replacement assets of
// production/assets/, the tuning a run wrote into the variable files, the
// update itself and the watcher that repeats it.
//
// The tree is shared with the engine, which writes its caches, packs and
// tuned variable files into it. The builder therefore writes only files whose
// bytes changed, each whole (a temporary file renamed over it), never removes
// a file it did not write, and never overwrites a variable file that a run
// changed since the builder wrote it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "build.h"

// ---------------------------------------------------------------------------
// The manifest, ".built" at the root of the tree (manifest.cpp)
// ---------------------------------------------------------------------------
struct ManifestFile {
    std::string part;
    uint64_t hash = 0; // of the bytes written
    uint64_t size = 0;
    int64_t mtime = 0; // nanoseconds, as the file system gave them after the write
    uint64_t inode = 0;
};

struct Manifest {
    bool present = false; // a stamp was there
    bool legacy = false;  // the stamp of a builder that replaced the whole tree
    std::map<std::string, std::string> keys;          // part -> the input key it was last computed for
    std::map<std::string, ManifestFile> files;        // tree name -> what was written there
    std::map<std::string, std::string> writtenValues; // ".vars" name -> the lines last written into it
};

// The manifest of a tree; an empty one (present false) without a stamp.
Manifest manifestRead(const std::string &tree);
// Writes it whole. False with a reason.
bool manifestWrite(const std::string &tree, const Manifest &manifest, std::string *error);
// The record of a tree file as it is now (hash left 0). False when it is missing.
bool manifestStat(const std::string &path, ManifestFile *record);
// True when the file still carries the size, time and inode recorded.
bool manifestUnchanged(const std::string &path, const ManifestFile &record);

// ---------------------------------------------------------------------------
// The cache of generated parts, outside the tree (cache.cpp)
// ---------------------------------------------------------------------------
// The builder's default cache directory: beside its own executable, so that
// the music survives a deleted tree but not a deleted build directory.
std::string cacheDefaultDir();
// The files a part's generator gave for this key. False when not cached (or
// the entry is damaged).
bool cacheLoad(const std::string &dir, const std::string &part, const std::string &key, std::vector<BuildFile> *files);
// Stores them, dropping the part's entries for other keys. False with a reason.
bool cacheStore(const std::string &dir, const std::string &part, const std::string &key,
                const std::vector<BuildFile> &files, std::string *error);
// The generator's identity: a hash of its sources and the libraries it runs
// on, so that neither an engine rebuild nor a change to another part's
// generator calls it again (generators.cpp).
std::string generatorIdentity(const std::string &part);

// ---------------------------------------------------------------------------
// Replacement assets, production/assets/ (assets.cpp)
// ---------------------------------------------------------------------------
struct AssetFile {
    std::string name; // relative to the tree, "textures/fish/txt1.png"
    std::string path; // where it was read, "production/assets/textures/fish/txt1.png"
    std::string bytes;
};

// Every file under source/assets/ except its README.txt, hidden files and
// editor backups ("~"), sorted by name. False with a reason.
bool assetsScan(const std::string &source, std::vector<AssetFile> *assets, std::string *error);
// The generated part that writes files of this name ("music", "pictures",
// "objects"), or null when no replacement may have it.
const char *assetsPartOf(const std::string &name);
// Checks a replacement as the engine will read it, against the generated
// file of the same name: an MP3 decodes at 44.1 kHz stereo, a PNG decodes
// with the generated picture's size, an object is well formed. False with a
// message naming the file. note gets a remark worth showing (or stays empty).
bool assetsCheck(const AssetFile &asset, const std::vector<BuildFile> &generated, const std::string &scratch,
                 std::string *error, std::string *note);

// ---------------------------------------------------------------------------
// Tuning: the values of variable files (tuning.cpp)
// ---------------------------------------------------------------------------
// One variable of a file: its name and value tokens as written.
struct TuningValue {
    std::string name;
    std::vector<std::string> tokens;
};

// The "name value..." lines of a variable file as the engine reads them (a
// later line wins), in file order; comments are dropped.
std::vector<TuningValue> tuningParse(const std::string &text);
// Whether two values are the same float, a value written back with "%f"
// included.
bool tuningSameValue(const TuningValue &a, const TuningValue &b);
// The variables of `wanted` whose value in `have` differs or is missing.
std::vector<std::string> tuningDiffering(const std::vector<TuningValue> &wanted, const std::vector<TuningValue> &have);
// "curl_zoom 1.500000 (production: 1)" for every differing variable, one a line.
std::string tuningDescribe(const std::vector<TuningValue> &production, const std::vector<TuningValue> &tree,
                           const std::vector<std::string> &names, const char *indent);
// The shortest "%g" form that gives the same float back.
std::string tuningNumber(double value);
// The authored text with the numbers of the variables that differ in `tree`
// replaced, comments, order and spacing kept; names gets the variables
// changed.
std::string tuningFoldBack(const std::string &authored, const std::vector<TuningValue> &tree,
                           std::vector<std::string> *names);

// ---------------------------------------------------------------------------
// The update (tree.cpp) and the watcher (watch.cpp)
// ---------------------------------------------------------------------------
struct TreeOptions {
    std::string source;          // production/
    std::string out;             // the tree, normally Vantorel/
    std::string cache;           // the generated parts' cache
    bool takeProduction = false; // tuned variable files get the production's values
    bool quiet = false;          // report only the parts that wrote something
};

// Brings the tree up to date. 0 on success, 1 when a part failed (the tree
// is then left as it was).
int treeUpdate(const TreeOptions &options);
// Lists the tree's variable values that differ from the production's.
// 0 on success (differences or not), 1 when the sources are broken.
int treeDifferences(const TreeOptions &options);
// Writes the tree's tuned values into the authored variable files, then
// updates the tree. 0 on success.
int treeFoldBack(const TreeOptions &options);
// Updates the tree whenever the sources change, until interrupted or the
// parent process ends. 0 at the end.
int watchRun(const TreeOptions &options);

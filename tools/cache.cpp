// The cache of generated parts: one file per part and key holding every file
// the generator gave, so that the music is synthesised once per generator and
// not once per tree.
//
// Layout: "VBC1", u32 file count, per file u32 name length, the name, u64
// size, the bytes; then the u64 FNV-1a hash of everything before it.
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "data/replacefile.h"
#include "tree.h"

namespace fs = std::filesystem;

std::string cacheDefaultDir()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return ".vantorel_build-cache";
    return (self.parent_path() / "vantorel_build-cache").string();
}

static std::string cachePath(const std::string &dir, const std::string &part, const std::string &key)
{
    return dir + "/" + part + "-" + key + ".cache";
}

static void putWord(std::string *out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out->push_back((char)(value >> (8 * i)));
}

static bool getWord(const std::string &in, size_t *at, int bytes, uint64_t *value)
{
    if (in.size() - *at < (size_t)bytes)
        return false;
    *value = 0;
    for (int i = 0; i < bytes; i++)
        *value |= (uint64_t)(unsigned char)in[*at + i] << (8 * i);
    *at += bytes;
    return true;
}

bool cacheLoad(const std::string &dir, const std::string &part, const std::string &key, std::vector<BuildFile> *files)
{
    std::string bytes;
    if (!buildReadFile(cachePath(dir, part, key), &bytes) || bytes.size() < 16 || bytes.compare(0, 4, "VBC1") != 0)
        return false;
    size_t end = bytes.size() - 8, at = end;
    uint64_t hash, count;
    if (!getWord(bytes, &at, 8, &hash) || hash != buildHash(bytes.substr(0, end)))
        return false;
    at = 4;
    if (!getWord(bytes, &at, 4, &count))
        return false;
    files->clear();
    for (uint64_t i = 0; i < count; i++) {
        uint64_t length, size;
        if (!getWord(bytes, &at, 4, &length) || length > end - at)
            return false;
        BuildFile file;
        file.name = bytes.substr(at, length);
        at += length;
        if (!getWord(bytes, &at, 8, &size) || size > end - at)
            return false;
        file.bytes = bytes.substr(at, size);
        at += size;
        files->push_back(std::move(file));
    }
    return at == end;
}

static bool writeBlob(FILE *file, void *context)
{
    const std::string *bytes = (const std::string *)context;
    return fwrite(bytes->data(), 1, bytes->size(), file) == bytes->size();
}

bool cacheStore(const std::string &dir, const std::string &part, const std::string &key,
                const std::vector<BuildFile> &files, std::string *error)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::string blob = "VBC1";
    putWord(&blob, files.size(), 4);
    for (const BuildFile &file : files) {
        putWord(&blob, file.name.size(), 4);
        blob += file.name;
        putWord(&blob, file.bytes.size(), 8);
        blob += file.bytes;
    }
    putWord(&blob, buildHash(blob), 8);
    std::string path = cachePath(dir, part, key);
    if (!dataReplaceFile(path.c_str(), writeBlob, &blob)) {
        *error = "cannot write the cache " + path;
        return false;
    }
    // One entry per part: the generator's older outputs are of no more use.
    std::string prefix = part + "-";
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && entry.path().string() != path)
            fs::remove(entry.path(), ec);
    }
    return true;
}

// The manifest ".built": what the builder wrote into the tree (per file a
// content hash and the file system's record after the write), each part's
// input key, and the variable values last written. Scripts also take its
// time as the stamp of the last successful build.
//
// Text, one record a line:
//   vantorel production 2
//   key PART KEY
//   file PART HASH SIZE MTIME INODE NAME
//   value FILE NAME TOKEN...
#include <sys/stat.h>

#include <cstdio>
#include <sstream>

#include "data/replacefile.h"
#include "tree.h"

static const char kFirstLine[] = "vantorel production 2";
static const char kLegacyFirstLine[] = "vantorel production"; // a builder that replaced the whole tree

Manifest manifestRead(const std::string &tree)
{
    Manifest manifest;
    std::string text;
    if (!buildReadFile(tree + "/.built", &text))
        return manifest;
    manifest.present = true;
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kFirstLine) {
        // Anything else is treated as the old builder's stamp: nothing is
        // known of what it wrote, so every file is compared byte for byte.
        manifest.legacy = line == kLegacyFirstLine;
        return manifest;
    }
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string kind, part;
        in >> kind;
        if (kind == "key") {
            std::string key;
            if (in >> part >> key)
                manifest.keys[part] = key;
        } else if (kind == "file") {
            ManifestFile record;
            std::string hash, name;
            unsigned long long size, inode;
            long long mtime;
            if (!(in >> record.part >> hash >> size >> mtime >> inode))
                continue;
            std::getline(in >> std::ws, name);
            if (name.empty())
                continue;
            record.hash = strtoull(hash.c_str(), nullptr, 16);
            record.size = size;
            record.mtime = mtime;
            record.inode = inode;
            manifest.files[name] = record;
        } else if (kind == "value") {
            std::string file, rest;
            if (!(in >> file))
                continue;
            std::getline(in >> std::ws, rest);
            manifest.writtenValues[file] += rest + "\n";
        }
    }
    return manifest;
}

static bool writeText(FILE *file, void *context)
{
    const std::string *text = (const std::string *)context;
    return fwrite(text->data(), 1, text->size(), file) == text->size();
}

bool manifestWrite(const std::string &tree, const Manifest &manifest, std::string *error)
{
    std::string text = std::string(kFirstLine) + "\n";
    for (const auto &[part, key] : manifest.keys)
        text += "key " + part + " " + key + "\n";
    char line[160];
    for (const auto &[name, record] : manifest.files) {
        snprintf(line, sizeof line, "file %s %s %llu %lld %llu ", record.part.c_str(), buildHex(record.hash).c_str(),
                 (unsigned long long)record.size, (long long)record.mtime, (unsigned long long)record.inode);
        text += line + name + "\n";
    }
    for (const auto &[file, values] : manifest.writtenValues) {
        std::istringstream lines(values);
        for (std::string value; std::getline(lines, value);)
            text += "value " + file + " " + value + "\n";
    }
    std::string path = tree + "/.built";
    if (!dataReplaceFile(path.c_str(), writeText, &text)) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool manifestStat(const std::string &path, ManifestFile *record)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    record->size = (uint64_t)info.st_size;
    record->mtime = (int64_t)info.st_mtim.tv_sec * 1000000000 + info.st_mtim.tv_nsec;
    record->inode = (uint64_t)info.st_ino;
    return true;
}

bool manifestUnchanged(const std::string &path, const ManifestFile &record)
{
    ManifestFile now;
    return manifestStat(path, &now) && now.size == record.size && now.mtime == record.mtime &&
           now.inode == record.inode;
}

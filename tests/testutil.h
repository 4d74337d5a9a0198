// Shared helpers for the tests: temporary directories, running the program,
// reading files back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

// Runs the program built from this tree in cwd with the arguments; env holds
// NAME=value settings added to (or, with an empty value, removed from) the
// inherited environment. A run longer than timeoutSeconds is killed.
RunResult runVantorel(const std::string &cwd, const std::vector<std::string> &args,
                      const std::vector<std::pair<std::string, std::string>> &env = {},
                      double timeoutSeconds = 60.0);

bool makeDirs(const std::string &path);
std::string readFile(const std::string &path);
bool writeFile(const std::string &path, const std::string &data);
std::vector<std::string> listDir(const std::string &path); // sorted names, without . and ..
uint64_t hashBytes(const std::string &data);               // FNV-1a, for comparing files

// Writes grey stand-ins for the pictures without which an effect's setup ends
// the program (exit 10) into the asset tree, so that runs reach their frames.
bool writeEssentialPictures(const std::string &tree);

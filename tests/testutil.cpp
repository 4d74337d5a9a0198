// Temporary directories, program runs and file helpers for the tests.
#include "testutil.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "data/pngwrite.h"

#ifndef VANTOREL_BINARY
#error "VANTOREL_BINARY must name the program under test"
#endif

TempDir::TempDir()
{
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vantorel-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()))
        path_ = buffer.data();
}

TempDir::~TempDir()
{
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

bool makeDirs(const std::string &path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return std::filesystem::is_directory(path);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

bool writeFile(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), (std::streamsize)data.size());
    return (bool)out;
}

std::vector<std::string> listDir(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(path.c_str())) {
        while (dirent *entry = readdir(dir)) {
            if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, ".."))
                names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

uint64_t hashBytes(const std::string &data)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : data) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

uint32_t be32(const std::string &s, size_t at)
{
    const unsigned char *p = (const unsigned char *)s.data() + at;
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

std::string trackFile(const std::vector<SyncKey> &keys)
{
    std::string bytes(syncEncodeTrack(keys.data(), (int32_t)keys.size(), nullptr), '\0');
    syncEncodeTrack(keys.data(), (int32_t)keys.size(), (uint8_t *)bytes.data());
    return bytes;
}

RunResult runVantorel(const std::string &cwd, const std::vector<std::string> &args,
                      const std::vector<std::pair<std::string, std::string>> &env, double timeoutSeconds,
                      const char *program)
{
    RunResult result;
    // Everything the child needs is built before fork: between fork and exec
    // only async-signal-safe calls are allowed. Its output goes to files.
    std::vector<std::string> environment, copies(args);
    for (char **e = environ; *e; e++) {
        std::string entry = *e, name = entry.substr(0, entry.find('='));
        if (std::none_of(env.begin(), env.end(), [&](const auto &s) { return s.first == name; }))
            environment.push_back(entry);
    }
    for (const auto &setting : env)
        if (!setting.second.empty())
            environment.push_back(setting.first + "=" + setting.second);
    std::string path = program ? program : VANTOREL_BINARY;
    std::vector<char *> envp, argv = {path.data()};
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    for (std::string &arg : copies)
        argv.push_back(arg.data());
    envp.push_back(nullptr), argv.push_back(nullptr);
    TempDir logs;
    int out = open((logs / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600),
        err = open((logs / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    pid_t pid = out < 0 || err < 0 ? -1 : fork();
    if (pid == 0) {
        dup2(out, 1), dup2(err, 2);
        if (chdir(cwd.c_str()) == 0)
            execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out), close(err);
    if (pid < 0)
        return result;
    // A run longer than the timeout is killed, so that it fails its test instead of the run.
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = readFile(logs / "out"), result.err = readFile(logs / "err");
    return result;
}

bool addProductionAssets(const std::string &tree)
{
    namespace fs = std::filesystem;
    const char *production = getenv("VANTOREL_PRODUCTION_TREE");
    if (!production || !fs::exists(std::string(production) + "/.built"))
        return false;
    std::error_code error;
    fs::create_directories(tree, error);
    for (const char *folder : {"textures", "backgrounds"})
        fs::create_directory_symlink(fs::path(production) / folder, fs::path(tree) / folder, error);
    fs::copy(fs::path(production) / "lwobj", fs::path(tree) / "lwobj", fs::copy_options::recursive, error);
    return !error && fs::exists(fs::path(tree) / "lwobj");
}

// The production tree copied, its music linked: nothing writes that, and it
// is most of its bytes. The pictures are copied, since the hot reload tests
// write pictures into their tree, and through a link they would reach the
// shared tree every other test reads.
bool copyProductionTree(const std::string &to, const char *without)
{
    namespace fs = std::filesystem;
    const char *from = getenv("VANTOREL_PRODUCTION_TREE");
    if (!from || !fs::exists(std::string(from) + "/.built"))
        return false;
    const std::string skipped = without ? without : "";
    const std::string skippedTop = skipped.substr(0, skipped.find('/'));
    std::error_code error;
    fs::create_directories(to, error);
    for (const fs::directory_entry &entry : fs::directory_iterator(from, error)) {
        const std::string name = entry.path().filename().string();
        const fs::path target = fs::path(to) / name;
        if (name == "music.mp3" && name != skippedTop)
            fs::create_symlink(entry.path(), target, error);
        else
            fs::copy(entry.path(), target, fs::copy_options::recursive, error);
        if (error)
            return false;
    }
    if (!skipped.empty())
        fs::remove_all(fs::path(to) / skipped, error);
    return !error;
}

std::string captured(const std::function<void()> &f)
{
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

Object *meshOf(const std::vector<std::array<int32_t, 3>> &points, const std::vector<std::array<int, 3>> &tris)
{
    Object *o = nullptr;
    captured([&] { o = obj_Create((int)points.size(), (int)tris.size()); });
    for (size_t i = 0; i < points.size(); i++)
        o->vertices[i].x = points[i][0], o->vertices[i].y = points[i][1], o->vertices[i].z = points[i][2];
    for (size_t f = 0; f < tris.size(); f++)
        o->faces[f].a = &o->vertices[tris[f][0]], o->faces[f].b = &o->vertices[tris[f][1]],
        o->faces[f].c = &o->vertices[tris[f][2]];
    return o;
}

GuardedFrame::GuardedFrame(uint32_t value, bool guarded)
    : memory(2 * kMargin + FRAME_BLOCK_PIXELS, kSentinel), block(memory.data() + kMargin),
      frame(block + FRAME_GUARD_PIXELS), guardRows(guarded)
{
    fill(value);
}

void GuardedFrame::fill(uint32_t value)
{
    std::fill(block, block + FRAME_BLOCK_PIXELS, guardRows ? kSentinel : value);
    std::fill(frame, frame + FRAME_WIDTH * FRAME_HEIGHT, value);
}

bool GuardedFrame::intact() const
{
    const uint32_t *end = block + FRAME_BLOCK_PIXELS, *last = &memory.back() + 1;
    auto sentinels = [](const uint32_t *from, const uint32_t *to) {
        return std::all_of(from, to, [](uint32_t v) { return v == kSentinel; });
    };
    return sentinels(memory.data(), block) && sentinels(end, last) &&
           (!guardRows || (sentinels(block, frame) && sentinels(end - FRAME_GUARD_PIXELS, end)));
}

testing::AssertionResult sameWords(const uint32_t *a, const uint32_t *b, size_t n)
{
    const size_t at = (size_t)(std::mismatch(a, a + n, b).first - a);
    if (at == n)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "word " << at << " of " << n << " is 0x" << std::hex << a[at] << ", not 0x"
                                       << b[at];
}

testing::AssertionResult sameWords(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    if (a.size() != b.size())
        return testing::AssertionFailure() << a.size() << " words, not " << b.size();
    return sameWords(a.data(), b.data(), a.size());
}

uint64_t frameHash(const uint32_t *frame)
{
    return hashBytes(std::string((const char *)frame, FRAME_WIDTH * FRAME_HEIGHT * 4));
}

bool writeFramePNG(const std::string &path, const uint32_t *frame)
{
    return pngWriteFile(path.c_str(), frame, FRAME_WIDTH, FRAME_HEIGHT, FRAME_WIDTH, 0) == 1;
}

void checkGolden(uint64_t value, uint64_t golden, const std::string &name)
{
    if (getenv("VANTOREL_UPDATE_GOLDEN"))
        printf("%s: 0x%016llxull\n", name.c_str(), (unsigned long long)value);
    else
        EXPECT_EQ(value, golden) << name << " (VANTOREL_UPDATE_GOLDEN=DIR prints the new values, frames into DIR)";
}

void checkGoldenFrame(const uint32_t *frame, uint64_t golden, const std::string &name)
{
    if (const char *dir = getenv("VANTOREL_UPDATE_GOLDEN"))
        writeFramePNG(std::string(dir) + "/" + name + ".png", frame);
    checkGolden(frameHash(frame), golden, name);
}

// Video export through the ffmpeg program: a writer thread pipes the pictures
// into the encoder while the engine renders the next frame.
#include "host/video.h"

#ifdef _WIN32
#include <windows.h>  // Required for: CreateProcess(), CreatePipe()
#include <fcntl.h>    // Required for: open(), _O_BINARY
#include <io.h>       // Required for: _open_osfhandle()
#include <signal.h>   // Required for: signal()
#include <sys/stat.h> // Required for: stat()
#include <unistd.h>
#else
#include <fcntl.h>    // Required for: open(), fcntl(F_SETPIPE_SZ)
#include <signal.h>   // Required for: sigaction(), kill()
#include <spawn.h>    // Required for: posix_spawn()
#include <sys/stat.h> // Required for: stat()
#include <sys/wait.h> // Required for: waitpid()
#include <unistd.h>
#endif

#include <cerrno>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "data/replacefile.h"
#include "host/progress.h"
#include "render/bitmap.h"

#ifdef _WIN32
// A Windows process only ever exits, with a code; handles are inherited only
// where a spawn asks for it.
#define WIFEXITED(status) 1
#define WEXITSTATUS(status) (status)
#define WIFSIGNALED(status) 0
#define WTERMSIG(status) 0
#define O_CLOEXEC 0
#else
extern char **environ;
#endif

// The encoder's settings. ffmpeg enlarges the 320 x 180 pictures itself:
// measured, that costs slightly less than piping frames enlarged here (6.4
// times the bytes) and the encoding time is the same. Each picture pixel
// becomes a whole block (4 x 4 to 12 x 12 by the size asked for), so the 4:2:0
// chroma samples (2 x 2 blocks) never straddle two picture pixels and the
// colours stay as crisp as the brightness. "superfast" encodes the show in well
// under its running time on two cores at 1920 x 1080 ("veryfast" takes 1.7
// times the work for 1 dB); CRF 20 keeps the block edges within a few levels
// (about 41 dB PSNR).
static const char *const VIDEO_PRESET = "superfast";
static const char *const VIDEO_AUDIO_RATE = "192k";

enum {
    PICTURE_PIXELS = FRAME_WIDTH * PICTURE_ROWS,
    QUEUE_SLOTS = 4,      // pictures waiting for the encoder
    KEPT_LINES = 12,      // the encoder's last lines, shown when it fails
    PIPE_BYTES = 1 << 20, // the pipe holds several pictures
};

struct VideoExport {
    std::string path;     // the file asked for
    int width = VIDEO_DEFAULT_WIDTH;   // the picture enlarged to this size
    int height = VIDEO_DEFAULT_HEIGHT;
    int crf = VIDEO_DEFAULT_CRF;
    std::string partial;  // where ffmpeg writes until the file is complete
    std::string encoder;  // the ffmpeg program found in PATH
    pid_t pid = -1;       // on Windows, 0 once the encoder runs
#ifdef _WIN32
    HANDLE process = nullptr;
#endif
    int input = -1;       // the encoder's standard input
    int messages = -1;    // its standard error and output
    std::thread writer;
    std::thread reader;

    std::mutex lock;      // guards everything below
    std::condition_variable changed;
    std::vector<uint32_t> slots; // QUEUE_SLOTS pictures, frame n in slot n % QUEUE_SLOTS
    long total = 0;
    long queued = 0;      // pictures handed over by the engine
    long written = 0;     // pictures the encoder has taken
    bool closing = false; // no more pictures will come
    bool failed = false;  // writing into the pipe failed
    int writeError = 0;
    std::deque<std::string> lines;

    Progress progress;
};

// Never destroyed: an exit during the export must not run the destructors of
// threads still going.
static VideoExport *video;
static volatile sig_atomic_t videoInterrupted;
#ifdef _WIN32
static void (*videoOldInt)(int), (*videoOldTerm)(int);
#else
static struct sigaction videoOldInt, videoOldTerm;
#endif

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

#ifdef _WIN32
// NAME.exe in a directory of PATH (separated by ';').
static std::string videoFindProgram(const char *name)
{
    const char *search = getenv("PATH");
    std::string dirs = search ? search : "";
    for (size_t from = 0; from <= dirs.size();) {
        size_t end = dirs.find(';', from);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = end > from ? dirs.substr(from, end - from) : ".";
        if (dir.size() > 1 && dir.front() == '"' && dir.back() == '"')
            dir = dir.substr(1, dir.size() - 2);
        std::string candidate = dir + "\\" + name + ".exe";
        DWORD attributes = GetFileAttributesA(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return candidate;
        from = end + 1;
    }
    return "";
}

// One argument quoted for the command line, as the C runtime's parser reads
// it back: backslashes double only before a quote.
static void videoQuoteArgument(std::string &line, const std::string &arg)
{
    if (!line.empty())
        line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    for (size_t i = 0;; i++) {
        size_t slashes = 0;
        for (; i < arg.size() && arg[i] == '\\'; i++)
            slashes++;
        if (i == arg.size()) {
            line.append(slashes * 2, '\\');
            break;
        }
        if (arg[i] == '"')
            line.append(slashes * 2 + 1, '\\');
        else
            line.append(slashes, '\\');
        line += arg[i];
    }
    line += '"';
}

// Starts the encoder with these standard handles (inheritable); its process
// handle, or null.
static HANDLE videoSpawn(const std::vector<std::string> &args, HANDLE input, HANDLE output)
{
    std::string line;
    for (const std::string &arg : args)
        videoQuoteArgument(line, arg);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info = {};
    // In a process group of its own, so that Ctrl+C reaches only us; we then
    // stop it and remove the partial file.
    if (!CreateProcessA(video->encoder.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                        nullptr, nullptr, &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

// A pipe whose end "inherited" the child gets; the other end stays ours.
static bool videoPipe(HANDLE *read, HANDLE *write, bool childReads)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(read, write, &inherit, PIPE_BYTES))
        return false;
    SetHandleInformation(childReads ? *write : *read, HANDLE_FLAG_INHERIT, 0);
    return true;
}

static int videoExitCode(HANDLE process)
{
    DWORD code = 1;
    WaitForSingleObject(process, INFINITE);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return (int)code;
}
#else
static std::string videoFindProgram(const char *name)
{
    const char *search = getenv("PATH");
    std::string dirs = search ? search : "/usr/local/bin:/usr/bin:/bin";
    for (size_t from = 0; from <= dirs.size();) {
        size_t end = dirs.find(':', from);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = end > from ? dirs.substr(from, end - from) : ".";
        std::string candidate = dir + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        from = end + 1;
    }
    return "";
}
#endif

// ".mp4" of "dir/show.MP4"; empty when the name has none.
static std::string videoExtension(const std::string &path)
{
    size_t slash = path.rfind('/');
    size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameAt)
        return "";
    std::string extension = path.substr(dot);
    for (char &c : extension)
        c = (char)tolower((unsigned char)c);
    return extension;
}

// "dir/show.mp4" is written as "dir/.show-partial.mp4": hidden, and with the
// extension from which ffmpeg picks the container.
static std::string videoPartialName(const std::string &path)
{
    size_t slash = path.rfind('/');
    size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    size_t stemEnd = path.size() - videoExtension(path).size();
    return path.substr(0, nameAt) + "." + path.substr(nameAt, stemEnd - nameAt) + "-partial" + path.substr(stemEnd);
}

static bool videoWriteAll(int fd, const void *data, size_t size)
{
    const char *bytes = (const char *)data;
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
#ifdef _WIN32
        if (n < 0 && (GetLastError() == ERROR_NO_DATA || GetLastError() == ERROR_BROKEN_PIPE))
            errno = EPIPE; // the encoder is gone: what Linux calls a broken pipe
#endif
        if (n <= 0)
            return false;
        bytes += n;
        size -= (size_t)n;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The two threads
// ---------------------------------------------------------------------------

static void videoWriterLoop(void)
{
    VideoExport &v = *video;
    for (;;) {
        std::unique_lock<std::mutex> hold(v.lock);
        v.changed.wait(hold, [&v] { return v.written < v.queued || v.closing; });
        if (v.written == v.queued)
            return;
        // The engine leaves this slot alone until "written" moves past it.
        const uint32_t *picture = &v.slots[(size_t)(v.written % QUEUE_SLOTS) * PICTURE_PIXELS];
        hold.unlock();
        bool ok = videoWriteAll(v.input, picture, PICTURE_PIXELS * sizeof(uint32_t));
        int error = errno;
        hold.lock();
        if (!ok) {
            v.failed = true;
            v.writeError = error;
            v.changed.notify_all();
            return;
        }
        long done = ++v.written;
        v.changed.notify_all();
        hold.unlock();
        progressReport(&v.progress, done, false);
    }
}

static void videoKeepLine(std::string &line)
{
    std::lock_guard<std::mutex> hold(video->lock);
    video->lines.push_back(line);
    if (video->lines.size() > KEPT_LINES)
        video->lines.pop_front();
    line.clear();
}

// Keeps the encoder's last lines; at its log level it only speaks of errors.
static void videoReaderLoop(void)
{
    std::string line;
    char chunk[1024];
    for (;;) {
        ssize_t n = read(video->messages, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; i++) {
            if (chunk[i] != '\n' && chunk[i] != '\r')
                line += chunk[i];
            else if (!line.empty())
                videoKeepLine(line);
        }
    }
    if (!line.empty())
        videoKeepLine(line);
}

static void videoOnSignal(int)
{
    videoInterrupted = 1;
}

// ---------------------------------------------------------------------------
// Public functions
// ---------------------------------------------------------------------------

// What the encoder is asked to write into the file, after the inputs: the
// show's codecs, the container for the file's name, and the file.
static void videoOutputArguments(std::vector<std::string> &args, const std::string &crf)
{
    args.insert(args.end(), {"-c:v", "libx264", "-preset", VIDEO_PRESET, "-crf", crf, "-pix_fmt", "yuv420p",
                             "-c:a", "aac", "-b:a", VIDEO_AUDIO_RATE});
    std::string extension = videoExtension(video->path);
    if (extension.empty()) {
        args.push_back("-f"); // ffmpeg picks the container by the extension
        args.push_back("mp4");
    }
    if (extension.empty() || extension == ".mp4" || extension == ".m4v" || extension == ".mov") {
        // The index in front, so that players start before the whole file is read.
        args.push_back("-movflags");
        args.push_back("+faststart");
    }
    args.push_back("-y");
    args.push_back("file:" + video->partial);
}

// Runs ffmpeg with these arguments, its output into messages; its exit status,
// or -1 when it could not be started.
static int videoRunEncoder(const std::vector<std::string> &args, std::string *messages)
{
#ifdef _WIN32
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    SetHandleInformation(input, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    HANDLE read = nullptr, write = nullptr;
    if (!videoPipe(&read, &write, false)) {
        CloseHandle(input);
        return -1;
    }
    HANDLE process = videoSpawn(args, input, write);
    CloseHandle(input);
    CloseHandle(write);
    char chunk[1024];
    DWORD n;
    while (process && ReadFile(read, chunk, sizeof chunk, &n, nullptr) && n > 0)
        messages->append(chunk, n);
    CloseHandle(read);
    return process ? videoExitCode(process) : -1;
#else
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    pid_t pid;
    int spawned = posix_spawn(&pid, video->encoder.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char chunk[1024];
    for (ssize_t n; spawned == 0 && ((n = read(out[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR));)
        if (n > 0)
            messages->append(chunk, (size_t)n);
    close(out[0]);
    if (spawned != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// A tenth of a second of black and silence, encoded as the show will be into
// the partial file: a name whose container cannot hold H.264 and AAC (or that
// ffmpeg does not know) is refused before the show renders.
static bool videoContainerTakesTheShow(void)
{
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error",
                                     "-f", "lavfi", "-i", "color=c=black:s=64x36:r=30",
                                     "-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo",
                                     "-t", "0.1", "-map", "0:v:0", "-map", "1:a:0"};
    videoOutputArguments(args, std::to_string(video->crf));
    std::string messages;
    int status = videoRunEncoder(args, &messages);
    unlink(video->partial.c_str());
    if (status == 0)
        return true;
    while (!messages.empty() && (messages.back() == '\n' || messages.back() == '\r'))
        messages.pop_back();
    size_t lastLine = messages.find_last_of('\n');
    std::string said = lastLine == std::string::npos ? messages : messages.substr(lastLine + 1);
    // ffmpeg speaks of the hidden partial file; the user knows the name given.
    const std::string partial = "file:" + video->partial;
    for (size_t at; (at = said.find(partial)) != std::string::npos;)
        said.replace(at, partial.size(), video->path);
    std::string extension = videoExtension(video->path);
    fprintf(stderr,
            "Cannot export the video: ffmpeg cannot write H.264 video with AAC sound into %s (%s%s%s).\n"
            "Give the file a name ending in .mp4, .mkv or .mov.\n",
            video->path.c_str(), extension.empty() ? "no extension" : "the extension ",
            extension.c_str(), said.empty() ? "" : ("; ffmpeg says: " + said).c_str());
    return false;
}

int videoBegin(const char *path, int width, int height, int crf)
{
    if (!video)
        video = new VideoExport();
    video->path = path;
    video->width = width;
    video->height = height;
    video->crf = crf;
    video->encoder = videoFindProgram("ffmpeg");
    if (video->encoder.empty()) {
        fprintf(stderr, "Cannot export the video: the ffmpeg program is not in PATH.\n"
                        "Install it (on Debian: apt-get install ffmpeg), or render PNG frames with --capture DIR.\n");
        return VIDEO_NO_ENCODER;
    }
    struct stat info;
    if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
        fprintf(stderr, "Cannot write the video %s: it is a directory.\n", path);
        return VIDEO_NO_OUTPUT;
    }
    // Tried now, so that nothing is rendered for a file that cannot be written.
    video->partial = videoPartialName(path);
    int fd = open(video->partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        fprintf(stderr, "Cannot write the video %s: %s.\n", path, strerror(errno));
        return VIDEO_NO_OUTPUT;
    }
    close(fd);
    unlink(video->partial.c_str());
    if (!videoContainerTakesTheShow())
        return VIDEO_BAD_CONTAINER;
    return VIDEO_READY;
}

static std::vector<std::string> videoArguments(double fps, double start, long frames, const char *musicPath)
{
    char rate[32], from[32], length[32];
    snprintf(rate, sizeof rate, "%.10g", fps);
    snprintf(from, sizeof from, "%.6f", start);
    snprintf(length, sizeof length, "%.6f", (double)frames / fps);
    char size[32], scale[160];
    snprintf(size, sizeof size, "%dx%d", (int)FRAME_WIDTH, (int)PICTURE_ROWS);
    // Whole-factor enlargement by repeating pixels, BT.709 in the TV range.
    snprintf(scale, sizeof scale, "scale=%d:%d:flags=neighbor:out_color_matrix=bt709:out_range=tv,format=yuv420p",
             video->width, video->height);
    std::vector<std::string> args = {
        "ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error",
        // The pictures: 0xAARRGGBB words are the bytes B, G, R, A.
        "-f", "rawvideo", "-pix_fmt", "bgr0", "-video_size", size, "-framerate", rate, "-i", "pipe:0",
        // The music of the same stretch, padded with silence past its end.
        "-ss", from, "-t", length, "-i", std::string("file:") + musicPath,
        "-map", "0:v:0", "-map", "1:a:0", "-vf", scale,
        "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv",
        "-af", std::string("apad=whole_dur=") + length};
    videoOutputArguments(args, std::to_string(video->crf));
    return args;
}

int videoStart(double fps, double start, long frames, const char *musicPath)
{
    VideoExport &v = *video;
    std::vector<std::string> args = videoArguments(fps, start, frames, musicPath);
#ifdef _WIN32
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    if (!videoPipe(&inRead, &inWrite, true) || !videoPipe(&outRead, &outWrite, false)) {
        fprintf(stderr, "Cannot start ffmpeg: Windows error %lu.\n", (unsigned long)GetLastError());
        for (HANDLE h : {inRead, inWrite, outRead, outWrite})
            if (h)
                CloseHandle(h);
        return 0;
    }
    v.process = videoSpawn(args, inRead, outWrite);
    DWORD spawnError = GetLastError();
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (!v.process) {
        fprintf(stderr, "Cannot start %s: Windows error %lu.\n", v.encoder.c_str(), (unsigned long)spawnError);
        CloseHandle(inWrite);
        CloseHandle(outRead);
        return 0;
    }
    v.pid = 0;
    v.input = _open_osfhandle((intptr_t)inWrite, _O_BINARY);
    v.messages = _open_osfhandle((intptr_t)outRead, _O_BINARY);
    // An interrupt ends the export cleanly; a broken pipe is an error from
    // write() on Windows anyway.
    videoOldInt = signal(SIGINT, videoOnSignal);
    videoOldTerm = signal(SIGTERM, videoOnSignal);
#else
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        fprintf(stderr, "Cannot start ffmpeg: %s.\n", strerror(errno));
        for (int fd : {in[0], in[1], out[0], out[1]})
            if (fd >= 0)
                close(fd);
        return 0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    // In a process group of its own, so that Ctrl+C reaches only us; we then
    // stop it and remove the partial file.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    int spawned = posix_spawn(&v.pid, v.encoder.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(in[0]);
    close(out[1]);
    if (spawned != 0) {
        fprintf(stderr, "Cannot start %s: %s.\n", v.encoder.c_str(), strerror(spawned));
        close(in[1]);
        close(out[0]);
        v.pid = -1;
        return 0;
    }
    v.input = in[1];
    v.messages = out[0];
    fcntl(v.input, F_SETPIPE_SZ, PIPE_BYTES); // a smaller pipe only costs speed

    // A broken pipe is an error from write(), not the end of the program; an
    // interrupt ends the export cleanly.
    signal(SIGPIPE, SIG_IGN);
    struct sigaction onSignal = {};
    onSignal.sa_handler = videoOnSignal;
    sigemptyset(&onSignal.sa_mask);
    sigaction(SIGINT, &onSignal, &videoOldInt);
    sigaction(SIGTERM, &onSignal, &videoOldTerm);
#endif

    v.slots.assign((size_t)QUEUE_SLOTS * PICTURE_PIXELS, 0u);
    v.total = frames;
    progressBegin(&v.progress, "Video", frames);
    v.reader = std::thread(videoReaderLoop);
    v.writer = std::thread(videoWriterLoop);
    return 1;
}

int videoWriteFrame(const uint32_t *picture)
{
    VideoExport &v = *video;
    std::unique_lock<std::mutex> hold(v.lock);
    // A signal handler cannot wake us: look at its flag now and then.
    while (v.queued - v.written >= QUEUE_SLOTS && !v.failed && !videoInterrupted)
        v.changed.wait_for(hold, std::chrono::milliseconds(100));
    if (v.failed || videoInterrupted)
        return 0;
    memcpy(&v.slots[(size_t)(v.queued % QUEUE_SLOTS) * PICTURE_PIXELS], picture, PICTURE_PIXELS * sizeof(uint32_t));
    v.queued++;
    v.changed.notify_all();
    return 1;
}

int videoFinish(void)
{
    VideoExport &v = *video;
    if (v.pid < 0)
        return 0;
    bool stopped = videoInterrupted;
    {
        std::lock_guard<std::mutex> hold(v.lock);
        v.closing = true;
        v.changed.notify_all();
    }
    // An interrupted export is not worth finishing: stop the encoder, which
    // also frees a writer blocked on the full pipe.
#ifdef _WIN32
    if (stopped)
        TerminateProcess(v.process, 1);
    v.writer.join();
    close(v.input); // the end of the pictures: ffmpeg finishes the file
    v.reader.join();
    close(v.messages);
    int status = videoExitCode(v.process);
    signal(SIGINT, videoOldInt);
    signal(SIGTERM, videoOldTerm);
#else
    if (stopped)
        kill(v.pid, SIGTERM);
    v.writer.join();
    close(v.input); // the end of the pictures: ffmpeg finishes the file
    v.reader.join();
    close(v.messages);
    int status = 0;
    while (waitpid(v.pid, &status, 0) < 0 && errno == EINTR) {
    }
    sigaction(SIGINT, &videoOldInt, nullptr);
    sigaction(SIGTERM, &videoOldTerm, nullptr);
#endif

    bool exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    struct stat info;
    bool written = stat(v.partial.c_str(), &info) == 0 && info.st_size > 0;
    bool complete = !stopped && !v.failed && exited && v.written == v.total && written;
    if (complete && dataRenameOver(v.partial.c_str(), v.path.c_str()) == 0) {
        progressReport(&v.progress, v.written, true);
        double elapsed = progressElapsed(&v.progress);
        fprintf(stderr, "Video: %ld frame%s in %s (%.1f frames/s), %.1f MB written to %s\n", v.written,
                v.written == 1 ? "" : "s", progressClock(elapsed).c_str(), elapsed > 0.0 ? v.written / elapsed : 0.0,
                info.st_size / 1e6, v.path.c_str());
        return 1;
    }

    progressBreak(&v.progress);
    if (stopped) {
        fprintf(stderr, "Video export interrupted after %ld of %ld frames.\n", v.written, v.total);
    } else if (complete) {
        fprintf(stderr, "Cannot put the video in place as %s: %s.\n", v.path.c_str(), strerror(errno));
    } else {
        if (WIFSIGNALED(status))
            fprintf(stderr, "Video export failed: ffmpeg was killed by signal %d", WTERMSIG(status));
        else
            fprintf(stderr, "Video export failed: ffmpeg ended with exit status %d", WEXITSTATUS(status));
        fprintf(stderr, " after taking %ld of %ld frames", v.written, v.total);
        if (v.failed && v.writeError != EPIPE)
            fprintf(stderr, " (writing to it: %s)", strerror(v.writeError));
        fprintf(stderr, v.lines.empty() ? ", without a message.\n" : ". Its last lines:\n");
        for (const std::string &line : v.lines)
            fprintf(stderr, "  %s\n", line.c_str());
    }
    if (remove(v.partial.c_str()) == 0)
        fprintf(stderr, "The partial file was removed; %s was not written.\n", v.path.c_str());
    else
        fprintf(stderr, "%s was not written.\n", v.path.c_str());
    return 0;
}

// The edit mode in a real window (the test runs under Xvfb), silent, driven
// through its control channel: seeks show exactly the offline frames of a
// 60 fps run, pause holds, steps and loops move by frames, bad clients get
// errors or are dropped without harm, and quit ends the run as a close
// request does.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "data/image.h"
#include "data/pngwrite.h"
#include "testutil.h"
#include "xwindow.h"

// A client of the control channel.
class Channel {
public:
    explicit Channel(const std::string &path, double waitSeconds = 120.0)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        while (std::chrono::steady_clock::now() < deadline) {
            fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
            if (connect(fd_, (const sockaddr *)&address, sizeof address) == 0)
                return;
            close(fd_);
            fd_ = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~Channel() { if (fd_ >= 0) close(fd_); }
    bool connected() const { return fd_ >= 0; }
    void sendRaw(const std::string &bytes) { (void)!write(fd_, bytes.data(), bytes.size()); }
    // The reply line to a command, "" when none comes within the time.
    std::string ask(const std::string &line, double waitSeconds = 30.0)
    {
        sendRaw(line + "\n");
        return reply(waitSeconds);
    }
    std::string reply(double waitSeconds = 30.0)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
        while (pending_.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            ssize_t got = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0)
                pending_.append(buffer, (size_t)got);
            else if (got == 0)
                break;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        size_t end = pending_.find('\n');
        if (end == std::string::npos)
            return "";
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
    }

private:
    int fd_ = -1;
    std::string pending_;
};

static double field(const std::string &reply, const std::string &name)
{
    size_t at = reply.find(" " + name + " ");
    return at == std::string::npos ? NAN : atof(reply.c_str() + at + name.size() + 2);
}

using Files = std::vector<std::pair<std::string, std::string>>;

class EditMode : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(copyProductionTree(root / "Vantorel")) << "needs the production tree";
        ASSERT_TRUE(makeDirs(root / "run"));
    }
    void startEditing(const std::vector<std::string> &extra = {})
    {
        std::vector<std::string> args = {"--edit", "--no-sound", "--control", socketPath()};
        args.insert(args.end(), extra.begin(), extra.end());
        runner = std::thread([this, args] {
            result = runVantorel(root / "run", args, {{"ASAN_OPTIONS", "detect_leaks=0"}}, 300.0);
        });
    }
    void TearDown() override
    {
        if (runner.joinable()) {
            Channel(socketPath(), 1.0).ask("quit", 5.0);
            runner.join();
        }
    }
    std::string socketPath() { return root / "ctl"; }
    // The offline frames of a 60 fps run at `start` and after it, from a tree
    // of their own (a development run writes into its tree) in which the
    // given files (path in the tree, bytes) are replaced.
    std::vector<std::string> offlineFrames(double start, int count, const Files &replaced = {})
    {
        static int runs = 0;
        const std::string tree = root / ("offline" + std::to_string(runs++));
        if (!copyProductionTree(tree + "/Vantorel") || !makeDirs(tree + "/run"))
            return {};
        for (const auto &file : replaced) {
            if (!writeFile(tree + "/Vantorel/" + file.first, file.second))
                return {};
        }
        char seconds[32], duration[32];
        snprintf(seconds, sizeof seconds, "%.6f", start);
        snprintf(duration, sizeof duration, "%.6f", (count - 0.5) / 60.0);
        RunResult r = runVantorel(tree + "/run",
                                  {"--capture", "f", "--overwrite", "--fps", "60", "--start", seconds, "--duration",
                                   duration},
                                  {{"DISPLAY", ""}, {"ASAN_OPTIONS", "detect_leaks=0"}}, 300.0);
        std::vector<std::string> frames;
        for (int i = 0; r.exitCode == 0 && i < count; i++) {
            char name[40];
            snprintf(name, sizeof name, "/run/f/frame_%06d.png", i);
            frames.push_back(readFile(tree + name));
        }
        return frames;
    }
    TempDir root;
    std::thread runner;
    RunResult result;
};

TEST_F(EditMode, SeeksStepsPauseLoopAndQuit)
{
    startEditing();
    Channel channel(socketPath());
    ASSERT_TRUE(channel.connected()) << "no control channel";
    struct stat info;
    ASSERT_EQ(stat(socketPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the socket is the owner's alone";

    // Seeks, each paused and shot: the curl particles early and late, the
    // fish, the image layer with its particles, the mosaic, and back.
    int shot = 0;
    auto screenshot = [&] {
        std::string file = root / ("shot" + std::to_string(shot++) + ".png");
        EXPECT_EQ(channel.ask("screenshot " + file), "ok " + file);
        return readFile(file);
    };
    EXPECT_EQ(channel.ask("pause"), "ok paused");
    for (double t : {66.0, 77.5, 95.25, 105.5, 131.0, 14.5}) {
        SCOPED_TRACE(t);
        char expected[64];
        snprintf(expected, sizeof expected, "ok time %.3f", t);
        EXPECT_EQ(channel.ask("seek " + std::to_string(t)), expected);
        std::vector<std::string> offline = offlineFrames(t, 2);
        ASSERT_EQ(offline.size(), 2u);
        EXPECT_EQ(hashBytes(screenshot()), hashBytes(offline[0]));
        // A step is the next frame of the same run, and back again.
        EXPECT_NEAR(field(channel.ask("step 1"), "time"), t + 1.0 / 60, 0.0006);
        EXPECT_EQ(hashBytes(screenshot()), hashBytes(offline[1]));
        EXPECT_NEAR(field(channel.ask("step -1"), "time"), t, 0.0006);
        EXPECT_EQ(hashBytes(screenshot()), hashBytes(offline[0]));
        EXPECT_NE(offline[0], offline[1]);
    }

    // Paused, the picture and the clock hold; playing, they move.
    std::string status = channel.ask("status");
    EXPECT_NE(status.find(" paused 1 "), std::string::npos) << status;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(channel.ask("status"), status);
    EXPECT_EQ(channel.ask("play"), "ok playing");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GT(field(channel.ask("status"), "time"), 14.6);

    // A loop of half a second keeps the show inside it.
    EXPECT_EQ(channel.ask("loop 40 40.5"), "ok loop 40.000 40.500 on");
    EXPECT_EQ(field(channel.ask("seek 40"), "time"), 40.0);
    for (int i = 0; i < 8; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        double t = field(channel.ask("status"), "time");
        EXPECT_GE(t, 40.0);
        EXPECT_LT(t, 40.6);
    }
    EXPECT_EQ(channel.ask("loop off"), "ok loop off");

    // The status line lies over the window, never in the picture.
    EXPECT_EQ(channel.ask("pause"), "ok paused");
    XWindowInfo window = xFindWindow("Rendering Window");
    ASSERT_TRUE(window.found);
    std::vector<uint32_t> edge = xGrab(window.x, window.y + (180 - 13) * 6, 1920, 1);
    ASSERT_EQ(edge.size(), 1920u);
    EXPECT_EQ(std::count(edge.begin(), edge.end(), 0x707070u), 1920) << "the status line's top edge";

    // Variables: read, set (not the ones tracks drive), and kept at quit.
    EXPECT_EQ(channel.ask("get curl_lifedecay"), "ok curl_lifedecay 3");
    EXPECT_EQ(channel.ask("set curl_lifedecay 2.5"), "ok curl_lifedecay 2.5");
    EXPECT_EQ(channel.ask("set fx_idx 3").rfind("error fx_idx follows its track", 0), 0u);
    EXPECT_EQ(channel.ask("seek 999"), "error the music ends at 180.000 s");
    EXPECT_EQ(channel.ask("quit"), "ok quit");
    runner.join();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(readFile(root / "Vantorel/curl.vars").find("curl_lifedecay 2.5"), std::string::npos);
    EXPECT_FALSE(readFile(root / "run/demo.dat").empty()) << "the pack of a development run";
    EXPECT_NE(stat(socketPath().c_str(), &info), 0) << "the socket is removed at exit";
    EXPECT_NE(result.err.find("Edit mode: seeks prepared"), std::string::npos) << result.err;
}

TEST_F(EditMode, BadClientsGetErrorsOrAreDroppedAndTheShowGoesOn)
{
    startEditing({"--start", "70"});
    Channel channel(socketPath());
    ASSERT_TRUE(channel.connected()) << "no control channel";
    EXPECT_EQ(channel.ask("pause"), "ok paused");
    for (const char *line : {"", "dance", "seek", "seek nan", "seek -1", "seek 1e999", "step 0.5", "loop 3 2",
                             "get", "get no_such_variable", "set no_such_variable 1", "set curl_zoom 1 2",
                             "screenshot /nonexistent/dir/x.png"}) {
        std::string reply = channel.ask(line);
        EXPECT_EQ(reply.rfind("error ", 0), 0u) << line << " -> " << reply;
    }
    // A line far too long is answered once, and the channel goes on.
    channel.sendRaw(std::string(100000, 'x') + "\n");
    EXPECT_EQ(channel.reply(), "error line longer than 1024 characters");
    // Binary garbage, line by line.
    std::mt19937 random(5);
    std::string garbage;
    for (int i = 0; i < 4000; i++)
        garbage += (char)(random() % 256);
    garbage.erase(std::remove(garbage.begin(), garbage.end(), '\n'), garbage.end());
    for (size_t at = 0; at < garbage.size(); at += 400)
        EXPECT_EQ(channel.ask(garbage.substr(at, 400)).rfind("error ", 0), 0u);
    {
        // A client that vanishes mid-line, and one that never reads its replies.
        Channel vanishing(socketPath());
        vanishing.sendRaw("seek 1");
        Channel deaf(socketPath());
        for (int i = 0; i < 2000; i++)
            deaf.sendRaw("status\n");
    }
    // More clients than the channel takes (eight, this one among them): one
    // at least is told so (which one depends on when the two above were seen
    // to go).
    std::vector<std::unique_ptr<Channel>> crowd;
    for (int i = 0; i < 8; i++)
        crowd.push_back(std::make_unique<Channel>(socketPath()));
    int turnedAway = 0;
    for (auto &client : crowd)
        turnedAway += client->reply(0.5) == "error too many clients";
    EXPECT_GE(turnedAway, 1);
    crowd.clear();
    // Still answering, still at the moment it was paused at.
    std::string status = channel.ask("status");
    EXPECT_EQ(status.rfind("ok time 70.", 0), 0u) << status;
    EXPECT_EQ(channel.ask("quit"), "ok quit");
    runner.join();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
}

// The transport from the keyboard, as a user drives it.
TEST_F(EditMode, KeysDriveTheTransport)
{
    startEditing({"--start", "20"});
    Channel channel(socketPath());
    ASSERT_TRUE(channel.connected()) << "no control channel";
    // A key, then the status once the loop has taken it (a message a frame).
    auto press = [&](unsigned long key) {
        EXPECT_TRUE(xPressKey("Rendering Window", key));
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        return channel.ask("status");
    };
    std::string status = press(XK_space);
    ASSERT_NE(status.find(" paused 1 "), std::string::npos) << status;
    const double at = field(status, "time");
    const double frame = 1.0 / 60;
    EXPECT_NEAR(field(press(XK_Right), "time"), at + 1, frame);
    EXPECT_NEAR(field(press(XK_Next), "time"), at + 11, frame);
    EXPECT_NEAR(field(press(XK_Prior), "time"), at + 1, frame);
    EXPECT_NEAR(field(press(XK_Left), "time"), at, frame);
    const double grid = field(channel.ask("status"), "time");
    EXPECT_NEAR(field(press(XK_period), "time"), grid + frame, 1e-3);
    EXPECT_NEAR(field(press(XK_comma), "time"), grid, 1e-3);
    press(XK_bracketleft);
    press(XK_Right);
    press(XK_bracketright);
    status = press(XK_l);
    char loop[64];
    snprintf(loop, sizeof loop, " loop %.3f %.3f on", grid, grid + 1);
    EXPECT_NE(status.find(loop), std::string::npos) << status;
    EXPECT_NEAR(field(press(XK_Home), "time"), 0.0, 1e-9);

    // F1 takes the status line away from the window and brings it back.
    XWindowInfo window = xFindWindow("Rendering Window");
    auto edgeShown = [&] {
        std::vector<uint32_t> edge = xGrab(window.x, window.y + (180 - 13) * 6, 1920, 1);
        return std::count(edge.begin(), edge.end(), 0x707070u) == 1920;
    };
    EXPECT_TRUE(edgeShown());
    press(XK_F1);
    EXPECT_FALSE(edgeShown());
    press(XK_F1);
    EXPECT_TRUE(edgeShown());
    status = press(XK_space);
    EXPECT_NE(status.find(" paused 0 "), std::string::npos) << status;

    // Typed into the console, the keys are words, not the transport; the
    // variable set there changes every frame a later seek shows.
    const std::string curlVars = readFile(root / "Vantorel/curl.vars");
    press(XK_grave);
    for (char c : std::string("curl_motionnoisetime 0.5"))
        press(c == ' ' ? XK_space : c == '.' ? XK_period : c == '_' ? XK_underscore : (unsigned long)c);
    press(XK_Return);
    status = press(XK_grave);
    EXPECT_NE(status.find(" paused 0 "), std::string::npos) << "a space in the console paused: " << status;
    EXPECT_EQ(channel.ask("get curl_motionnoisetime"), "ok curl_motionnoisetime 0.5");
    EXPECT_EQ(channel.ask("pause"), "ok paused");
    EXPECT_EQ(channel.ask("seek 70"), "ok time 70.000");
    const std::string shot = root / "console.png";
    EXPECT_EQ(channel.ask("screenshot " + shot), "ok " + shot);
    std::string changed = curlVars;
    size_t line = changed.find("curl_motionnoisetime ");
    ASSERT_NE(line, std::string::npos);
    changed.replace(line, changed.find('\n', line) - line, "curl_motionnoisetime 0.5");
    std::vector<std::string> offline = offlineFrames(70.0, 1, {{"curl.vars", changed}});
    ASSERT_EQ(offline.size(), 1u);
    EXPECT_EQ(hashBytes(readFile(shot)), hashBytes(offline[0]));
}

// A little-endian track file: keys at rows 0, 100, 200, ... of step type;
// `claimed` is the count the file says it holds.
static std::string trackBytes(int32_t claimed, const std::vector<float> &values)
{
    std::string bytes(4, '\0');
    memcpy(&bytes[0], &claimed, 4);
    for (size_t i = 0; i < values.size(); i++) {
        char key[9];
        int32_t row = (int32_t)i * 100;
        memcpy(key, &row, 4);
        memcpy(key + 4, &values[i], 4);
        key[8] = 0;
        bytes.append(key, 9);
    }
    return bytes;
}

TEST_F(EditMode, HotReloadTakesWholeFilesOnly)
{
    startEditing({"--start", "100"});
    Channel channel(socketPath());
    ASSERT_TRUE(channel.connected()) << "no control channel";
    EXPECT_EQ(channel.ask("pause"), "ok paused");
    const std::string track = root / "Vantorel/sync_particle_zoom.track";
    const std::string before = channel.ask("get particle_zoom");
    const std::string shotBefore = root / "before.png", shotAfter = root / "after.png";
    channel.ask("screenshot " + shotBefore);
    // Caught half written (a count of five, two keys there), or garbage: the
    // old keys stay.
    ASSERT_TRUE(writeFile(track, trackBytes(5, {111, 222})));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(channel.ask("get particle_zoom"), before);
    ASSERT_TRUE(writeFile(track, "\x07garbage"));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(channel.ask("get particle_zoom"), before);
    // A whole file is taken at once, and the paused picture shows it.
    ASSERT_TRUE(writeFile(track, trackBytes(1, {300})));
    auto written = std::chrono::steady_clock::now();
    std::string now;
    while ((now = channel.ask("get particle_zoom")) != "ok particle_zoom 300" &&
           std::chrono::steady_clock::now() - written < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(now, "ok particle_zoom 300");
    channel.ask("screenshot " + shotAfter);
    EXPECT_NE(hashBytes(readFile(shotAfter)), hashBytes(readFile(shotBefore)));

    // A variable file without the end of its last line is still being written.
    const std::string vars = root / "Vantorel/curl.vars";
    ASSERT_TRUE(writeFile(vars, readFile(vars) + "curl_zoom 2.5"));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(channel.ask("get curl_zoom"), "ok curl_zoom 1");
    ASSERT_TRUE(writeFile(vars, readFile(vars) + "\n"));
    for (int i = 0; i < 500 && channel.ask("get curl_zoom") != "ok curl_zoom 2.5"; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(channel.ask("get curl_zoom"), "ok curl_zoom 2.5");
    // The forced pass reads every file again.
    std::string reloaded = channel.ask("reload");
    EXPECT_EQ(reloaded.rfind("ok reloaded ", 0), 0u) << reloaded;
    EXPECT_GT(atoi(reloaded.c_str() + 12), 50) << reloaded;
    EXPECT_EQ(channel.ask("quit"), "ok quit");
    runner.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Reloaded sync_particle_zoom.track: 1 keys\n"), std::string::npos);
    EXPECT_NE(result.out.find("Reloaded curl.vars\n"), std::string::npos);
    EXPECT_EQ(result.out.find("Reloaded sync_particle_zoom.track: 2 keys"), std::string::npos);
}

// The console of the edit mode, typed into: a colour takes all its numbers,
// one that tracks drive holds while paused, and after a seek the tracks
// have it back and the picture is the show's own again.
TEST_F(EditMode, ConsoleSetsWholeColoursAndHoldsDrivenOnesWhilePaused)
{
    startEditing({"--start", "70"});
    Channel channel(socketPath());
    ASSERT_TRUE(channel.connected()) << "no control channel";
    EXPECT_EQ(channel.ask("pause"), "ok paused");
    EXPECT_EQ(channel.ask("seek 70"), "ok time 70.000");
    const std::string before = root / "before.png", after = root / "after.png";
    EXPECT_EQ(channel.ask("screenshot " + before), "ok " + before);
    const std::string diffuse = channel.ask("get intro_diffuse"), glow = channel.ask("get post_glow_color");
    ASSERT_EQ(diffuse, "ok intro_diffuse 0.9 0.95 1 1");
    ASSERT_EQ(glow.rfind(" 1"), glow.size() - 2) << glow; // its alpha, which no track drives
    auto type = [&](const std::string &text) {
        for (char c : text) {
            unsigned long key = c == ' ' ? XK_space : c == '.' ? XK_period : c == '_' ? XK_underscore
                              : c == '`' ? XK_grave : c == '\r' ? XK_Return : (unsigned long)c;
            EXPECT_TRUE(xPressKey("Rendering Window", key));
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        channel.ask("status"); // the loop has taken every key
    };
    type("`intro_diffuse 0.5 0.25 0 0.5\r");
    EXPECT_EQ(channel.ask("get intro_diffuse"), "ok intro_diffuse 0.5 0.25 0 0.5");
    type("intro_diffuse 1 2\r"); // a wrong count changes nothing
    EXPECT_EQ(channel.ask("get intro_diffuse"), "ok intro_diffuse 0.5 0.25 0 0.5");
    type("post_glow_color 0.5 0.25 0\r"); // its alpha kept
    EXPECT_EQ(channel.ask("get post_glow_color"), "ok post_glow_color 0.5 0.25 0 1");
    // Held through the frame drawn again meanwhile, until the seek.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(channel.ask("get post_glow_color"), "ok post_glow_color 0.5 0.25 0 1");
    EXPECT_EQ(channel.ask("set intro_diffuse 0.9 0.95 1 1"), diffuse);
    EXPECT_EQ(channel.ask("seek 70"), "ok time 70.000");
    EXPECT_EQ(channel.ask("get post_glow_color"), glow);
    EXPECT_EQ(channel.ask("screenshot " + after), "ok " + after);
    EXPECT_EQ(hashBytes(readFile(after)), hashBytes(readFile(before)));
    EXPECT_EQ(channel.ask("quit"), "ok quit");
    runner.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

// A picture of the tree with every colour inverted, as a PNG of the same size
// (empty when the file does not decode); at a quarter of the size when
// `quarter` is set.
static std::string invertedPicture(const std::string &path, bool quarter = false)
{
    std::string bytes = readFile(path);
    Texture *picture = imgDecodePNG((const uint8_t *)bytes.data(), bytes.size());
    if (!picture)
        return "";
    const Bitmap *b = picture->bitmap;
    const int width = quarter ? b->width / 2 : b->width, height = quarter ? b->height / 2 : b->height;
    std::vector<uint32_t> pixels((size_t)width * height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            pixels[(size_t)y * width + x] = ~((const uint32_t *)b->pixels)[(size_t)y * b->width + x] | 0xFF000000u;
    txt_FreeTexture(picture);
    TempDir scratch;
    const std::string out = scratch / "p.png";
    return pngWriteFile(out.c_str(), pixels.data(), width, height, width, 0) ? readFile(out) : "";
}

TEST_F(EditMode, HotReloadOfPicturesKeepsTheirOwnersWork)
{
    // Every fish texture, glitch picture and greetings picture inverted: the
    // owners blur, dim and blend them as they did the old ones.
    Files inverted;
    for (const char *folder : {"textures/fish", "textures/glitch", "backgrounds/morla/greets"}) {
        for (const auto &entry : std::filesystem::directory_iterator(root / (std::string("Vantorel/") + folder))) {
            std::string name = std::string(folder) + "/" + entry.path().filename().string();
            inverted.push_back({name, invertedPicture(entry.path().string())});
            ASSERT_FALSE(inverted.back().second.empty()) << name;
        }
    }
    ASSERT_GT(inverted.size(), 20u);
    std::sort(inverted.begin(), inverted.end());
    const std::string fish1 = root / "Vantorel/textures/fish/txt1.png";
    const std::string fish2 = root / "Vantorel/textures/fish/txt2.png";
    const std::string fish3 = root / "Vantorel/textures/fish/txt3.png";
    const std::string small = invertedPicture(fish3, true);

    startEditing({"--start", "80"});
    Channel channel(socketPath());
    ASSERT_TRUE(channel.connected()) << "no control channel";
    EXPECT_EQ(channel.ask("pause"), "ok paused");
    const std::string shot = root / "shot.png";
    auto screenshot = [&] {
        return channel.ask("screenshot " + shot) == "ok " + shot ? hashBytes(readFile(shot)) : uint64_t(0);
    };
    const uint64_t before = screenshot();

    // Half a picture, garbage and a picture of another size change nothing.
    const std::string whole = invertedPicture(fish1);
    ASSERT_TRUE(writeFile(fish1, whole.substr(0, whole.size() / 2)));
    ASSERT_TRUE(writeFile(fish2, "\x89PNG\r\n\x1a\ngarbage"));
    ASSERT_TRUE(writeFile(fish3, small));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(screenshot(), before);

    // Whole pictures are taken, each owner's work done again on them; the
    // paused picture and every moment after a seek are those of a show that
    // had them from the start.
    for (const auto &file : inverted)
        ASSERT_TRUE(writeFile(root / ("Vantorel/" + file.first), file.second));
    uint64_t now = before;
    for (int i = 0; i < 500 && (now = screenshot()) == before; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(now, before);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the watch's own passes take the rest
    EXPECT_EQ(channel.ask("reload").rfind("ok reloaded ", 0), 0u);
    for (double moment : {80.0, 115.0, 140.0}) {
        char seek[40], reply[40];
        snprintf(seek, sizeof seek, "seek %g", moment);
        snprintf(reply, sizeof reply, "ok time %.3f", moment);
        EXPECT_EQ(channel.ask(seek), reply);
        std::vector<std::string> offline = offlineFrames(moment, 1, inverted);
        ASSERT_EQ(offline.size(), 1u);
        EXPECT_EQ(screenshot(), hashBytes(offline[0])) << "at " << moment << " s";
    }
    EXPECT_EQ(channel.ask("quit"), "ok quit");
    runner.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("textures/fish/txt3.png is 128 x 128; the show needs 256 x 256: the old picture stays"),
              std::string::npos) << result.err;
    EXPECT_NE(result.out.find("Reloaded textures/fish/txt1.png\n"), std::string::npos);
    EXPECT_NE(result.out.find("Reloaded textures/glitch/"), std::string::npos);
    EXPECT_NE(result.out.find("Reloaded backgrounds/morla/greets/"), std::string::npos);
}

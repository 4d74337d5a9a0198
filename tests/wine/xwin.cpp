// The X side of the Windows window checks, for a shell script: waits for the
// program's window, presses keys in it, compares what the server shows with a
// picture enlarged by pixel repetition, and asks the window to close.
//
//   vantorel_xwin wait TITLE SECONDS       prints "X Y WIDTH HEIGHT" once it is shown
//   vantorel_xwin keys TITLE KEYSYM...     e.g. space Home F1
//   vantorel_xwin compare TITLE PICTURE.png SECONDS
//                                          the window against the picture, enlarged to
//                                          its size, until they agree or time runs out
//   vantorel_xwin close TITLE
#include <X11/Xlib.h>
#include <png.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "xwindow.h"

namespace {

bool readPicture(const char *path, std::vector<uint32_t> *pixels, int *width, int *height)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path))
        return false;
    image.format = PNG_FORMAT_BGRA; // as the X server hands out its pixels, little-endian
    pixels->resize((size_t)image.width * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr))
        return false;
    *width = (int)image.width, *height = (int)image.height;
    return true;
}

double since(std::chrono::steady_clock::time_point began)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
}

XWindowInfo waitForWindow(const char *title, double seconds)
{
    auto began = std::chrono::steady_clock::now();
    XWindowInfo window;
    while (!(window = xFindWindow(title)).found && since(began) < seconds)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return window;
}

// Pixels of the window that differ from the picture enlarged to the window's
// size by a whole factor; -1 when the sizes are not in a whole ratio.
long mismatches(const XWindowInfo &window, const std::vector<uint32_t> &picture, int width, int height, int *zoom)
{
    *zoom = window.width / width;
    if (*zoom < 1 || window.width != width * *zoom || window.height != height * *zoom)
        return -1;
    return xCountDiffering(window.x, window.y, window.width, window.height, picture.data(), width, height, window.x,
                           window.y, *zoom);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s wait|keys|compare|close TITLE ...\n", argv[0]);
        return 2;
    }
    const char *command = argv[1], *title = argv[2];
    if (!strcmp(command, "wait") && argc == 4) {
        XWindowInfo window = waitForWindow(title, atof(argv[3]));
        if (!window.found) {
            printf("no window titled \"%s\" within %s s\n", title, argv[3]);
            return 1;
        }
        printf("%d %d %d %d\n", window.x, window.y, window.width, window.height);
        return 0;
    }
    if (!strcmp(command, "keys")) {
        for (int i = 3; i < argc; i++) {
            KeySym key = XStringToKeysym(argv[i]);
            if (key == NoSymbol || !xPressKey(title, key)) {
                printf("could not press %s in \"%s\"\n", argv[i], title);
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return 0;
    }
    if (!strcmp(command, "compare") && argc == 5) {
        std::vector<uint32_t> picture;
        int width = 0, height = 0, zoom = 0;
        if (!readPicture(argv[3], &picture, &width, &height)) {
            printf("cannot read %s\n", argv[3]);
            return 1;
        }
        auto began = std::chrono::steady_clock::now();
        long differ = -1;
        XWindowInfo window;
        do {
            window = waitForWindow(title, 1.0);
            if (window.found)
                differ = mismatches(window, picture, width, height, &zoom);
            if (differ != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (differ != 0 && since(began) < atof(argv[4]));
        if (differ == 0) {
            printf("the window (%d x %d at %d, %d) shows the picture enlarged %d times, every pixel\n", window.width,
                   window.height, window.x, window.y, zoom);
            return 0;
        }
        if (differ < 0)
            printf("the window (%d x %d) is not a whole enlargement of the %d x %d picture\n", window.width,
                   window.height, width, height);
        else
            printf("%ld of the window's %d pixels differ from the picture enlarged %d times\n", differ,
                   window.width * window.height, zoom);
        return 1;
    }
    if (!strcmp(command, "close") && argc == 3)
        return xRequestClose(title) ? 0 : 1;
    fprintf(stderr, "%s: bad command\n", argv[0]);
    return 2;
}

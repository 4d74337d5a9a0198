// Console input of arbitrary bytes over a scalar, a colour and a vector
// variable. Most bytes are keys; four drive the console's functions
// directly. The console is drawn at the end into a picture with no margin.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cvar/console.h"
#include "fuzzutil.h"

enum : uint8_t {
    OP_EXECUTE = 0xF0,
    OP_COMPLETE = 0xF1,
    OP_PUT_CHAR = 0xF2, // the next byte, raw: characters the key binding drops
    OP_NEW_LINE = 0xF3,
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzResetVariables();
    static Console console;
    memset(&console, 0, sizeof console);
    console.visible = 1;
    consoleUse(&console);
    for (size_t i = 0; i < size; i++) {
        switch (data[i]) {
        case OP_EXECUTE: consoleExecute(); break;
        case OP_COMPLETE: consoleComplete(); break;
        case OP_PUT_CHAR:
            if (i + 1 < size)
                consolePutChar((int8_t)data[++i]);
            break;
        case OP_NEW_LINE: consoleNewLine(); break;
        default: consoleKey(data[i]); break;
        }
        if (console.current < 0 || console.current >= CONSOLE_LINES || console.cursor < 0 ||
            console.cursor >= CONSOLE_LINE_SIZE || strlen(console.lines[console.current]) != (size_t)console.cursor)
            abort();
    }
    // Sizes around the smallest the overlay draws into.
    const int width = 14 + (int)(size % 320), height = 12 + (int)(size % 7) * 40;
    std::vector<uint32_t> picture((size_t)width * height);
    consoleDraw(picture.data(), width, height, (int)(size % 64) - 4);
    consoleUse(nullptr);
    return 0;
}

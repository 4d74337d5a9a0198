/* A stand-in for ffmpeg.exe in the Windows video check: it writes the raw
 * pictures the program pipes to it into the output file (the last "file:"
 * argument), so that they can be compared byte for byte with what the Linux
 * program pipes to its stand-in. A run without piped pictures (the check of
 * the container) writes a short file. */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    const char *out = NULL;
    int piped = 0;
    for (int i = 1; i < argc; i++) {
        if (!strncmp(argv[i], "file:", 5))
            out = argv[i] + 5;
        piped |= !strcmp(argv[i], "pipe:0");
    }
    FILE *file = out ? fopen(out, "wb") : NULL;
    if (!file) {
        fprintf(stderr, "fake ffmpeg: no output file\n");
        return 1;
    }
    if (piped) {
        static char chunk[1 << 16];
        size_t n;
        _setmode(0, _O_BINARY);
        while ((n = fread(chunk, 1, sizeof chunk, stdin)) > 0)
            fwrite(chunk, 1, n, file);
    } else {
        fputs("container check\n", file);
    }
    return fclose(file) == 0 ? 0 : 1;
}

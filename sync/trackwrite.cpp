// Track files as written: how a track name becomes a file name, and the
// bytes of a track's keys.
#include "sync/trackwrite.h"

#include <cstring> // Required for: memcpy()

static const int kNameMax = SYNC_NAME_BUFFER - 1; // characters a name or path may hold

static char encodeBuffer[SYNC_NAME_BUFFER];
static char pathBuffer[SYNC_NAME_BUFFER];

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------

// ASCII only: the file names must not depend on the C library's locale.
static bool syncIsPlainByte(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '_';
}

const char *syncEncodeName(const char *name)
{
    static const char hex[] = "0123456789ABCDEF";
    int length = 0;
    for (const unsigned char *p = (const unsigned char *)(name ? name : ""); *p; p++) {
        if (syncIsPlainByte(*p)) {
            if (length + 1 > kNameMax)
                break;
            encodeBuffer[length++] = (char)*p;
        } else {
            if (length + 3 > kNameMax) // an escape is never cut in half
                break;
            encodeBuffer[length++] = '-';
            encodeBuffer[length++] = hex[*p >> 4];
            encodeBuffer[length++] = hex[*p & 15];
        }
    }
    encodeBuffer[length] = '\0';
    return encodeBuffer;
}

// Appends as much of text as fits in 259 characters.
static void syncPathAppend(int *length, const char *text)
{
    while (*text && *length < kNameMax)
        pathBuffer[(*length)++] = *text++;
    pathBuffer[*length] = '\0';
}

const char *syncTrackPath(const char *base, const char *name)
{
    int length = 0;
    // The base is copied before the name is encoded: it may be the encoder's buffer.
    syncPathAppend(&length, base ? base : "");
    syncPathAppend(&length, "_");
    syncPathAppend(&length, syncEncodeName(name));
    syncPathAppend(&length, ".track");
    return pathBuffer;
}

static uint8_t *syncPutLE32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
    return p + 4;
}

size_t syncEncodeTrack(const SyncKey *keys, int32_t count, uint8_t *out)
{
    if (count < 0)
        count = 0;
    size_t size = 4 + 9 * (size_t)count;
    if (!out)
        return size;
    uint8_t *p = syncPutLE32(out, (uint32_t)count);
    for (int32_t i = 0; i < count; i++) {
        uint32_t value;
        memcpy(&value, &keys[i].value, 4);
        p = syncPutLE32(p, (uint32_t)keys[i].row);
        p = syncPutLE32(p, value);
        *p++ = (uint8_t)(int8_t)keys[i].type;
    }
    return size;
}

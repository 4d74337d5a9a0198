// LWO2 writer: an IFF "FORM" of type "LWO2" holding TAGS, LAYR, PNTS, BBOX,
// POLS, PTAG and SURF chunks, all numbers big-endian.
#include "lwo2.h"

#include <cstring> // Required for: memcpy()

static const uint32_t kMaxCorners = 0x3FF; // the low 10 bits of a polygon's count word
static const uint32_t kShortIndexLimit = 0xFF00; // from here on an index takes four bytes

static void putU16(std::string *s, uint32_t v)
{
    s->push_back((char)(v >> 8));
    s->push_back((char)v);
}

static void putU32(std::string *s, uint32_t v)
{
    putU16(s, v >> 16);
    putU16(s, v & 0xFFFF);
}

static void putF32(std::string *s, float f)
{
    uint32_t bits;
    memcpy(&bits, &f, 4);
    putU32(s, bits);
}

// VX: an index below 0xFF00 in two bytes, a larger one in four with the
// first byte 0xFF, so that readers tell the two forms apart by that byte.
static void putVX(std::string *s, uint32_t index)
{
    if (index < kShortIndexLimit)
        putU16(s, index);
    else
        putU32(s, index | 0xFF000000u);
}

// S0: zero-terminated, padded with a second zero to an even length.
static void putString(std::string *s, const std::string &text)
{
    s->append(text);
    s->push_back('\0');
    if ((text.size() + 1) & 1)
        s->push_back('\0');
}

// A top-level chunk: four-byte id, four-byte length of the body, the body and
// a pad byte when the length is odd (the pad is not counted in the length).
static void putChunk(std::string *s, const char *id, const std::string &body)
{
    s->append(id, 4);
    putU32(s, (uint32_t)body.size());
    s->append(body);
    if (body.size() & 1)
        s->push_back('\0');
}

// A surface sub-chunk: like a chunk but with a two-byte length.
static void putSubChunk(std::string *s, const char *id, const std::string &body)
{
    s->append(id, 4);
    putU16(s, (uint32_t)body.size());
    s->append(body);
    if (body.size() & 1)
        s->push_back('\0');
}

bool lwo2Write(const Lwo2Object &object, std::string *out, std::string *error)
{
    if (object.points.size() % 3) {
        *error = "point coordinates are not a multiple of three";
        return false;
    }
    const uint32_t pointCount = (uint32_t)(object.points.size() / 3);

    // Polygons and their surface tags, validated on the way.
    std::string pols = "FACE", ptag = "SURF";
    uint32_t polygon = 0;
    for (size_t i = 0; i < object.polygons.size(); polygon++) {
        uint32_t corners = object.polygons[i++];
        if (corners == 0 || corners > kMaxCorners || i + corners > object.polygons.size()) {
            *error = "polygon " + std::to_string(polygon) + " has a bad corner count";
            return false;
        }
        putU16(&pols, corners);
        for (uint32_t k = 0; k < corners; k++) {
            uint32_t index = object.polygons[i++];
            if (index >= pointCount) {
                *error = "polygon " + std::to_string(polygon) + " refers to a missing point";
                return false;
            }
            putVX(&pols, index);
        }
        putVX(&ptag, polygon);
        putU16(&ptag, 0); // the one surface: tag 0
    }

    std::string tags;
    putString(&tags, object.surface);

    std::string layr;
    putU16(&layr, 0); // layer number
    putU16(&layr, 0); // flags: visible
    for (int k = 0; k < 3; k++)
        putF32(&layr, 0.0f); // pivot
    putString(&layr, "");

    std::string pnts, bbox;
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (uint32_t p = 0; p < pointCount; p++) {
        for (int k = 0; k < 3; k++) {
            float v = object.points[3 * p + k];
            putF32(&pnts, v);
            if (p == 0 || v < lo[k])
                lo[k] = v;
            if (p == 0 || v > hi[k])
                hi[k] = v;
        }
    }
    for (float v : lo)
        putF32(&bbox, v);
    for (float v : hi)
        putF32(&bbox, v);

    std::string surf;
    putString(&surf, object.surface);
    putString(&surf, ""); // no source surface
    std::string sub;
    for (float c : object.colour)
        putF32(&sub, c);
    putVX(&sub, 0); // no envelope
    putSubChunk(&surf, "COLR", sub);
    sub.clear();
    putF32(&sub, object.diffuse);
    putVX(&sub, 0);
    putSubChunk(&surf, "DIFF", sub);
    sub.clear();
    putF32(&sub, 1.5625f); // smoothing angle, radians (about 89.5 degrees)
    putSubChunk(&surf, "SMAN", sub);

    std::string body = "LWO2";
    putChunk(&body, "TAGS", tags);
    putChunk(&body, "LAYR", layr);
    putChunk(&body, "PNTS", pnts);
    putChunk(&body, "BBOX", bbox);
    putChunk(&body, "POLS", pols);
    putChunk(&body, "PTAG", ptag);
    putChunk(&body, "SURF", surf);

    out->append("FORM", 4);
    putU32(out, (uint32_t)body.size());
    out->append(body);
    return true;
}

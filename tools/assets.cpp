// Replacement assets: files under production/assets/ take the place of the
// generated files of the same name in the tree. Each is checked here as the
// engine will read it, so that a wrong file is refused when it is saved and
// not when the show starts.
#include <mpg123.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "data/objwrite.h"
#include "tree.h"

namespace fs = std::filesystem;

static bool endsWith(const std::string &text, const char *suffix)
{
    size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool assetsScan(const std::string &source, std::vector<AssetFile> *assets, std::string *error)
{
    assets->clear();
    std::string root = source + "/assets";
    std::error_code ec;
    if (!fs::is_directory(root, ec))
        return true;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::string leaf = it->path().filename().string();
        // Editors' hidden swap files and backups are no assets.
        if (leaf[0] == '.' || endsWith(leaf, "~")) {
            if (it->is_directory())
                it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file())
            continue;
        AssetFile asset;
        asset.name = fs::relative(it->path(), root).generic_string();
        asset.path = root + "/" + asset.name;
        if (asset.name == "README.txt")
            continue;
        if (!buildReadFile(asset.path, &asset.bytes)) {
            *error = "cannot read " + asset.path;
            return false;
        }
        assets->push_back(std::move(asset));
    }
    if (ec) {
        *error = "cannot list " + root + ": " + ec.message();
        return false;
    }
    std::sort(assets->begin(), assets->end(), [](const AssetFile &a, const AssetFile &b) { return a.name < b.name; });
    return true;
}

const char *assetsPartOf(const std::string &name)
{
    if (name == "music.mp3")
        return "music";
    if (endsWith(name, ".png"))
        return "pictures";
    if (name.compare(0, 6, "lwobj/") == 0 && (endsWith(name, ".lobj") || endsWith(name, ".obj") || endsWith(name, ".lwo")))
        return "objects";
    return nullptr;
}

// Who reads a picture, for the size message: "the fish need 256 x 256".
static std::string readerOf(const std::string &name)
{
    static const struct {
        const char *prefix, *reader;
    } readers[] = {
        {"textures/fish/", "the fish need"},
        {"textures/back_tunel/", "the tunnel needs"},
        {"textures/glitch/", "the glitch pass needs"},
        {"backgrounds/morla/logo_composition2", "the logo overlay needs"},
        {"backgrounds/morla/morla_podlogo_10pc", "the intro needs"},
        {"backgrounds/morla/greets/morla_glitch", "the greetings' glitch tiles need"},
        {"backgrounds/morla/greets/", "the greetings need"},
    };
    for (const auto &r : readers)
        if (name.compare(0, strlen(r.prefix), r.prefix) == 0)
            return r.reader;
    return "the image layer needs";
}

static uint32_t be32(const std::string &s, size_t at)
{
    return (uint32_t)(unsigned char)s[at] << 24 | (uint32_t)(unsigned char)s[at + 1] << 16 |
           (uint32_t)(unsigned char)s[at + 2] << 8 | (uint32_t)(unsigned char)s[at + 3];
}

static bool checkPicture(const AssetFile &asset, const BuildFile &generated, std::string *error)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    bool ok = png_image_begin_read_from_memory(&image, asset.bytes.data(), asset.bytes.size()) != 0;
    if (ok) {
        image.format = PNG_FORMAT_RGBA;
        if (image.width > 16384 || image.height > 16384 || (uint64_t)image.width * image.height > 4096u * 4096u) {
            *error = asset.path + " is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                     ", larger than the engine loads";
            png_image_free(&image);
            return false;
        }
        std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
        ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    }
    if (!ok) {
        *error = asset.path + " is not a PNG picture the engine can read (" + image.message + ")";
        png_image_free(&image);
        return false;
    }
    uint32_t width = generated.bytes.size() >= 24 ? be32(generated.bytes, 16) : 0,
             height = generated.bytes.size() >= 24 ? be32(generated.bytes, 20) : 0;
    if (image.width != width || image.height != height) {
        *error = asset.path + " is " + std::to_string(image.width) + " x " + std::to_string(image.height) + "; " +
                 readerOf(asset.name) + " " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    return true;
}

// The music decodes whole, at the rate and channels the player opens it with.
static bool checkMusic(const AssetFile &asset, const BuildFile &generated, const std::string &scratch,
                       std::string *error, std::string *note)
{
    enum { RATE = 44100 };
    std::string path = scratch + "/music.mp3";
    FILE *file = fopen(path.c_str(), "wb");
    bool written = file && fwrite(asset.bytes.data(), 1, asset.bytes.size(), file) == asset.bytes.size();
    written = file && fclose(file) == 0 && written;
    if (!written) {
        *error = "cannot check " + asset.path + ": the scratch copy cannot be written";
        return false;
    }
    static bool started = mpg123_init() == MPG123_OK;
    mpg123_handle *decoder = started ? mpg123_new(nullptr, nullptr) : nullptr;
    if (!decoder) {
        *error = "cannot check " + asset.path + ": the MP3 decoder does not start";
        return false;
    }
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(decoder);
    long rate = 0;
    int channels = 0, encoding = 0, status = MPG123_OK;
    std::string why;
    double seconds = 0;
    if (mpg123_format(decoder, RATE, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(decoder, path.c_str()) != MPG123_OK) {
        why = mpg123_strerror(decoder);
    } else if (mpg123_getformat(decoder, &rate, &channels, &encoding) != MPG123_OK || rate != RATE || channels != 2) {
        why = "no MPEG audio at 44.1 kHz in it";
    } else {
        std::vector<unsigned char> buffer(1 << 16);
        size_t done = 0, samples = 0;
        while ((status = mpg123_read(decoder, buffer.data(), buffer.size(), &done)) == MPG123_OK)
            samples += done / 4;
        samples += done / 4;
        seconds = (double)samples / RATE;
        if (status != MPG123_DONE)
            why = std::string("it stops decoding after ") + std::to_string(seconds) + " s: " + mpg123_strerror(decoder);
        else if (samples == 0)
            why = "it holds no sound";
    }
    mpg123_delete(decoder);
    remove(path.c_str());
    if (!why.empty()) {
        *error = asset.path + " is not an MP3 the player can decode (" + why + ")";
        return false;
    }
    // Not refused: a shorter piece is a shorter show. But worth saying.
    (void)generated;
    char text[160];
    snprintf(text, sizeof text, "%s lasts %.1f s; the show ends with its music", asset.path.c_str(), seconds);
    *note = text;
    return true;
}

// A LightWave object: an IFF "FORM" of type LWO2 (or the older LWOB, LXOB)
// whose chunks lie within it, points and polygons among them.
static bool checkLightWave(const AssetFile &asset, std::string *error)
{
    const std::string &b = asset.bytes;
    const std::string prefix = asset.path + " is not a LightWave object";
    if (b.size() < 12 || b.compare(0, 4, "FORM") != 0) {
        *error = prefix + " (no IFF FORM)";
        return false;
    }
    std::string type = b.substr(8, 4);
    if (type != "LWO2" && type != "LWOB" && type != "LXOB") {
        *error = prefix + " (a FORM of type " + type + ", not LWO2)";
        return false;
    }
    uint64_t end = 8 + (uint64_t)be32(b, 4);
    if (end > b.size() || end < 12) {
        *error = prefix + " (the FORM claims " + std::to_string(end) + " bytes; the file has " +
                 std::to_string(b.size()) + ")";
        return false;
    }
    bool points = false, polygons = false;
    uint64_t at = 12;
    while (at < end) {
        if (end - at < 8) {
            *error = prefix + " (a chunk header is cut at byte " + std::to_string(at) + ")";
            return false;
        }
        std::string id = b.substr(at, 4);
        uint64_t length = be32(b, at + 4);
        if (length > end - at - 8) {
            *error = prefix + " (chunk " + id + " at byte " + std::to_string(at) + " runs past the FORM)";
            return false;
        }
        points |= id == "PNTS";
        polygons |= id == "POLS";
        at += 8 + length + (length & 1);
    }
    if (!points || !polygons) {
        *error = prefix + " (it has no " + std::string(points ? "POLS" : "PNTS") + " chunk)";
        return false;
    }
    return true;
}

// The engine's own object file (data/objwrite.h): counts and blocks within
// the file, corners among the vertices, surfaces 0 to 3.
static bool checkObject(const AssetFile &asset, std::string *error)
{
    const std::string &b = asset.bytes;
    const std::string prefix = asset.path + " is not an object file the engine reads";
    if (b.size() < OBJ_HEADER_SIZE + 4) {
        *error = prefix + " (shorter than its header)";
        return false;
    }
    uint32_t flags = be32(b, 4), vertices = be32(b, 8);
    uint64_t at = OBJ_HEADER_SIZE + (uint64_t)vertices * OBJ_VERTEX_SIZE;
    if (vertices > OBJ_MAX_VERTICES || at + 4 > b.size()) {
        *error = prefix + " (" + std::to_string(vertices) + " vertices do not fit in it)";
        return false;
    }
    uint32_t faces = be32(b, at);
    at += 4;
    if ((uint64_t)faces * OBJ_FACE_SIZE > b.size() - at) {
        *error = prefix + " (" + std::to_string(faces) + " faces do not fit in it)";
        return false;
    }
    for (uint32_t f = 0; f < faces; f++, at += OBJ_FACE_SIZE) {
        for (int c = 0; c < 4; c++) {
            uint32_t value = (uint32_t)(unsigned char)b[at + 2 * c] << 8 | (unsigned char)b[at + 2 * c + 1];
            if (c < 3 ? value >= vertices : value >= OBJ_SURFACES) {
                *error = prefix + " (face " + std::to_string(f) + (c < 3 ? " names a missing vertex" : " has surface ") +
                         (c < 3 ? "" : std::to_string(value)) + ")";
                return false;
            }
        }
    }
    uint64_t extra = ((flags & OBJ_FLAG_NORMALS) ? 12ull : 0) + ((flags & OBJ_FLAG_TEXCOORDS) ? 8ull : 0);
    if (extra * vertices > b.size() - at) {
        *error = prefix + " (its normal or texture blocks are cut short)";
        return false;
    }
    return true;
}

// "textures/fish/txt1.png, ..." : the generated names in the same folder.
static std::string namesNear(const std::string &name, const std::vector<BuildFile> &generated)
{
    std::string folder = name.substr(0, name.rfind('/') + 1), list;
    int count = 0;
    for (const BuildFile &file : generated) {
        if (file.name.compare(0, folder.size(), folder) != 0 || file.name.find('/', folder.size()) != std::string::npos ||
            !assetsPartOf(file.name))
            continue;
        if (count++ < 8)
            list += (list.empty() ? "" : ", ") + file.name;
    }
    if (count > 8)
        list += " and " + std::to_string(count - 8) + " more";
    return list;
}

bool assetsCheck(const AssetFile &asset, const std::vector<BuildFile> &generated, const std::string &scratch,
                 std::string *error, std::string *note)
{
    note->clear();
    auto found = std::find_if(generated.begin(), generated.end(), [&](const BuildFile &f) { return f.name == asset.name; });
    if (found == generated.end() || !assetsPartOf(asset.name)) {
        *error = asset.path + ": the production reads no such file, so it cannot replace one";
        std::string near = namesNear(asset.name, generated);
        *error += near.empty() ? " (replaceable: music.mp3, the pictures (.png) and the objects under lwobj/)"
                               : " (in that folder: " + near + ")";
        return false;
    }
    if (asset.name == "music.mp3")
        return checkMusic(asset, *found, scratch, error, note);
    if (endsWith(asset.name, ".png"))
        return checkPicture(asset, *found, error);
    if (endsWith(asset.name, ".lobj"))
        return checkObject(asset, error);
    return checkLightWave(asset, error);
}

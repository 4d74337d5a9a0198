// The production's pictures, generated: tunnel and fish textures, the intro
// logos, greetings with their glitch tiles, glitch displacement frames and the
// image layer's pictures with their list. Private to the builder and its tests.
//
// Everything here is deterministic: every random choice comes from Rng with a
// fixed seed, and nothing reads the clock or the environment, so two builds
// give byte-identical files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Painting (pictures_paint.cpp)
// ---------------------------------------------------------------------------

// Straight (not premultiplied) colour, every channel 0 to 1.
struct Color {
    float r = 0, g = 0, b = 0, a = 1;
};

Color colorHex(uint32_t rgb, float alpha = 1.0f); // 0xRRGGBB
Color colorMix(Color a, Color b, float t);         // a at t = 0, b at t = 1, alpha too
Color colorScale(Color c, float k);                // rgb times k, alpha kept
Color colorAdd(Color a, Color b);                  // rgb summed (may exceed 1), alpha of a

// A ramp through evenly spaced colours; t is clamped to 0..1.
Color ramp(const Color *stops, int count, float t);
// The same ramp, wrapping: t and t + 1 give the same colour (for tiled motifs).
Color rampCyclic(const Color *stops, int count, float t);

struct Canvas {
    int width = 0, height = 0;
    std::vector<Color> px;
    Canvas() = default;
    Canvas(int w, int h, Color fill = Color{0, 0, 0, 1}) : width(w), height(h), px((size_t)w * h, fill) {}
    Color &at(int x, int y) { return px[(size_t)y * width + x]; }
    const Color &at(int x, int y) const { return px[(size_t)y * width + x]; }
};

// Coverage or intensity per pixel, normally 0 to 1.
struct Mask {
    int width = 0, height = 0;
    std::vector<float> v;
    Mask() = default;
    Mask(int w, int h, float fill = 0.0f) : width(w), height(h), v((size_t)w * h, fill) {}
    float &at(int x, int y) { return v[(size_t)y * width + x]; }
    float at(int x, int y) const { return v[(size_t)y * width + x]; }
    // Outside the mask reads as 0.
    float get(int x, int y) const { return x < 0 || y < 0 || x >= width || y >= height ? 0.0f : at(x, y); }
};

// Seeded generator (splitmix64): the only source of randomness of the pictures.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint32_t next();
    float unit();                  // 0 <= u < 1
    int below(int n);              // 0 to n - 1
    float range(float lo, float hi);
};

// Noise that tiles: every function repeats with period 1 in u and v (texture
// coordinates 0..1), so a 256 x 256 texture made from it wraps seamlessly.
float noiseTiled(float u, float v, int cells, uint32_t seed);           // value noise, 0..1
float fbmTiled(float u, float v, int cells, int octaves, uint32_t seed); // summed octaves, about 0..1
struct Cells {
    float f1, f2;  // distances to the nearest and second nearest feature point, in cells
    uint32_t id;   // hash of the nearest point's cell, for per-cell colour
};
Cells cellsTiled(float u, float v, int cells, uint32_t seed);

// Blurs in place with `passes` box passes of the given radius (three passes
// look Gaussian). Wrapping blurs tile; clamped ones treat the border as repeated.
void blurMask(Mask &mask, int radius, int passes, bool wrap);
// Each pixel becomes the largest value within `radius` (a disc).
Mask dilateMask(const Mask &mask, int radius);

// Blends color over the canvas weighted by mask (scaled by color.a), the mask's
// top-left at (x, y); straight-alpha "over", so transparent canvases work.
void paintMask(Canvas &canvas, const Mask &mask, int x, int y, Color color);
// The same with the colour chosen per pixel from its canvas position.
void paintMaskWith(Canvas &canvas, const Mask &mask, int x, int y, const std::function<Color(int, int)> &color);
// Adds color times mask to the canvas (light: glows, stars), alpha untouched.
void addMask(Canvas &canvas, const Mask &mask, int x, int y, Color color);

// Distance in pixels to the nearest line of a perspective floor grid whose
// vanishing point is at centreX on the horizon; d is rows below the horizon.
float floorGridDistance(float x, float d, float centreX);

// Text in the console's 5 x 8 font, each font pixel drawn as scale x scale,
// `gap` pixels between glyphs. Characters outside the font draw as blanks.
int textWidth(const std::string &text, int scale, int gap);
Mask textMask(const std::string &text, int scale, int gap);

// ---------------------------------------------------------------------------
// Written pictures
// ---------------------------------------------------------------------------

// A finished picture: 0xAARRGGBB pixels, written as RGB or, with alpha, RGBA.
struct Picture {
    int width = 0, height = 0;
    bool alpha = false;
    std::vector<uint32_t> pixels;
};
// Rounds the canvas to bytes; opaque pictures get alpha 255 throughout.
Picture pictureFromCanvas(const Canvas &canvas, bool alpha);

// Tunnel background textures, numbers 1 to 3, 256 x 256, wrapping both ways
// (pictures_textures.cpp).
Picture tunnelTexture(int number);
// Fish tube textures, numbers 1 to 7, 256 x 256, wrapping both ways.
Picture fishTexture(int number);

// The logo blended over the intro with its own alpha, 320 x 180 RGBA
// (pictures_logo.cpp).
Picture logoComposition();
// The intro's full-band picture, exactly 320 x 180, opaque.
Picture introPicture();
// VANTOREL in the production's own letterforms, `unit` pixels per design unit,
// anti-aliased; the mask is as large as the word.
Mask logoWordMask(float unit);

// Greeting pictures 1 to 17, light on black for an additive blit
// (pictures_greets.cpp).
Picture greetingPicture(int number);
// Glitch tiles 1 to 20, laid opaque under the greetings.
Picture glitchTile(int number);

// Glitch displacement frames 2 to 99, 160 x 90: red and green 127 leave a
// block in place, others shift it (pictures_glitch.cpp).
Picture glitchFrame(int number);
enum { GLITCH_WIDTH = 160, GLITCH_HEIGHT = 90, GLITCH_NEUTRAL = 127 };

// The image layer's pictures, by position in its list (pictures_layer.cpp).
int layerPictureCount();
std::string layerPictureName(int position);  // asset name, "backgrounds/morla/..."
int layerPictureIndex(int position);         // the list index the layer selects it by
Picture layerPicture(int position);
std::string layerListText();                 // contents of "backgrounds/morla/list.txt"

// ---------------------------------------------------------------------------
// The whole set (pictures_set.cpp)
// ---------------------------------------------------------------------------

// Where the generated files go: the builder writes them into the tree, the
// tests into a scratch directory or memory. Each returns false with a reason.
struct PictureSink {
    std::function<bool(const std::string &name, const Picture &picture, std::string *error)> picture;
    std::function<bool(const std::string &name, const std::string &text, std::string *error)> text;
};

// Generates every picture and the list file, in a fixed order, into the sink.
bool picturesGenerate(const PictureSink &sink, std::string *error);

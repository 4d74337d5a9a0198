// Writing LightWave LWO2 object files: one layer, one surface, polygons of
// any corner count (a one-corner polygon is a point). The demo imports these
// through Assimp and converts them to its own object format on first use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Lwo2Object {
    std::vector<float> points;      // x, y, z per point
    std::vector<uint32_t> polygons; // per polygon: corner count (1..1023), then the point indices
    std::string surface = "Default";
    float colour[3] = {0.78f, 0.78f, 0.78f};
    float diffuse = 1.0f;
};

// Corner order is LightWave's: clockwise seen from the polygon's visible side
// in its left-handed space (x right, y up, z away from the viewer).
// Appends the whole file ("FORM" ... "LWO2" and its chunks) to out. False with
// a reason when a polygon is malformed or an index is out of range.
bool lwo2Write(const Lwo2Object &object, std::string *out, std::string *error);

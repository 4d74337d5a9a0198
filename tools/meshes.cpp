// The production's meshes: procedural shapes, their checks, and their object
// files in the engine's format and in LightWave's.
#include "meshes.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "data/objwrite.h"
#include "lwo2.h"

static const double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Small tools: vectors, a seeded generator, gradient noise
// ---------------------------------------------------------------------------

struct Vec3 {
    double x, y, z;
};
static Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
static Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
static Vec3 operator*(Vec3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
static double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
static Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
static Vec3 normalize(Vec3 a) { return a * (1.0 / std::sqrt(dot(a, a))); }

// Our own generator, so that the shapes do not depend on the C library's.
struct MeshRng {
    uint32_t state;
    uint32_t next()
    {
        // xorshift32
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    double unit() { return (next() >> 8) * (1.0 / 16777216.0); } // [0, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
};

// Classic gradient noise over a shuffled 256-entry lattice, about -1..1.
struct Noise {
    uint8_t perm[512];
    explicit Noise(uint32_t seed)
    {
        MeshRng rng{seed};
        for (int i = 0; i < 256; i++)
            perm[i] = (uint8_t)i;
        for (int i = 255; i > 0; i--)
            std::swap(perm[i], perm[rng.next() % (uint32_t)(i + 1)]);
        for (int i = 0; i < 256; i++)
            perm[256 + i] = perm[i];
    }
    static double fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
    static double grad(int hash, double x, double y, double z)
    {
        int h = hash & 15;
        double u = h < 8 ? x : y, v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
        return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
    }
    double at(Vec3 p) const
    {
        double fx = std::floor(p.x), fy = std::floor(p.y), fz = std::floor(p.z);
        int X = (int)fx & 255, Y = (int)fy & 255, Z = (int)fz & 255;
        double x = p.x - fx, y = p.y - fy, z = p.z - fz;
        double u = fade(x), v = fade(y), w = fade(z);
        int A = perm[X] + Y, AA = perm[A] + Z, AB = perm[A + 1] + Z;
        int B = perm[X + 1] + Y, BA = perm[B] + Z, BB = perm[B + 1] + Z;
        auto lerp = [](double t, double a, double b) { return a + t * (b - a); };
        return lerp(w,
                    lerp(v, lerp(u, grad(perm[AA], x, y, z), grad(perm[BA], x - 1, y, z)),
                         lerp(u, grad(perm[AB], x, y - 1, z), grad(perm[BB], x - 1, y - 1, z))),
                    lerp(v, lerp(u, grad(perm[AA + 1], x, y, z - 1), grad(perm[BA + 1], x - 1, y, z - 1)),
                         lerp(u, grad(perm[AB + 1], x, y - 1, z - 1), grad(perm[BB + 1], x - 1, y - 1, z - 1))));
    }
    // Octaves of halving amplitude and doubling frequency.
    double fbm(Vec3 p, int octaves) const
    {
        double sum = 0, amplitude = 1;
        for (int i = 0; i < octaves; i++) {
            sum += amplitude * at(p);
            p = p * 2.03; // not exactly 2, so the octaves' lattices do not line up
            amplitude *= 0.5;
        }
        return sum;
    }
};

// ---------------------------------------------------------------------------
// Building blocks
// ---------------------------------------------------------------------------

static void addVertex(Mesh *mesh, Vec3 p)
{
    mesh->xyz.push_back((float)p.x);
    mesh->xyz.push_back((float)p.y);
    mesh->xyz.push_back((float)p.z);
}

static Vec3 vertexAt(const Mesh &mesh, uint32_t i)
{
    return {mesh.xyz[3 * i], mesh.xyz[3 * i + 1], mesh.xyz[3 * i + 2]};
}

static void addTri(Mesh *mesh, uint32_t a, uint32_t b, uint32_t c)
{
    mesh->tris.insert(mesh->tris.end(), {a, b, c});
}

// Parametric surfaces are built with whichever winding their parameters
// happen to give; a closed mesh's enclosed volume says which way is out.
static void orientOutward(Mesh *mesh)
{
    if (meshSignedVolume(*mesh) >= 0)
        return;
    for (size_t i = 0; i < mesh->tris.size(); i += 3)
        std::swap(mesh->tris[i + 1], mesh->tris[i + 2]);
}

// Unit directions of a subdivided icosahedron: level n has 10 * 4^n + 2
// vertices and 20 * 4^n faces, wound outward like the table of the
// icosahedron and every level's corner-first split. Each level keeps the vertices
// of the one before, so level 1's 42 directions are vertices of every finer
// level.
static Mesh unitIcosphere(int levels)
{
    Mesh mesh;
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    const Vec3 corners[12] = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                              {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    for (const Vec3 &c : corners)
        addVertex(&mesh, normalize(c));
    mesh.tris = {0, 11, 5, 0, 5,  1, 0, 1, 7, 0, 7,  10, 0, 10, 11, 1, 5, 9, 5, 11, 4, 11, 10, 2, 10, 7, 6, 7, 1, 8,
                 3, 9,  4, 3, 4,  2, 3, 2, 6, 3, 6,  8,  3, 8,  9,  4, 9, 5, 2, 4,  11, 6, 2,  10, 8,  6, 7, 9, 8, 1};
    for (int level = 0; level < levels; level++) {
        std::map<std::pair<uint32_t, uint32_t>, uint32_t> midpoints;
        auto midpoint = [&](uint32_t a, uint32_t b) {
            auto key = std::make_pair(std::min(a, b), std::max(a, b));
            auto found = midpoints.find(key);
            if (found != midpoints.end())
                return found->second;
            uint32_t index = mesh.vertexCount();
            addVertex(&mesh, normalize(vertexAt(mesh, a) + vertexAt(mesh, b)));
            midpoints[key] = index;
            return index;
        };
        std::vector<uint32_t> finer;
        for (size_t i = 0; i < mesh.tris.size(); i += 3) {
            uint32_t a = mesh.tris[i], b = mesh.tris[i + 1], c = mesh.tris[i + 2];
            uint32_t ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
            finer.insert(finer.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
        }
        mesh.tris.swap(finer);
    }
    return mesh;
}

// A closed tube: rings of `around` vertices at `along` stations, the last
// station joined back to the first. at(i, j) gives the vertex of station i,
// ring position j.
template <typename At> static Mesh closedTube(int along, int around, At at)
{
    Mesh mesh;
    for (int i = 0; i < along; i++)
        for (int j = 0; j < around; j++)
            addVertex(&mesh, at(i, j));
    for (int i = 0; i < along; i++) {
        for (int j = 0; j < around; j++) {
            uint32_t a = (uint32_t)(i * around + j), b = (uint32_t)(i * around + (j + 1) % around);
            uint32_t c = (uint32_t)(((i + 1) % along) * around + j);
            uint32_t d = (uint32_t)(((i + 1) % along) * around + (j + 1) % around);
            addTri(&mesh, a, b, d);
            addTri(&mesh, a, d, c);
        }
    }
    orientOutward(&mesh);
    return mesh;
}

// A closed surface over latitude and longitude: `rings` rings of `around`
// vertices between two pole vertices. at(latitude, longitude) in radians,
// latitude from -pi/2 (the lower pole) to pi/2.
template <typename At> static Mesh closedSphere(int rings, int around, At at)
{
    Mesh mesh;
    addVertex(&mesh, at(-kPi / 2, 0.0));
    for (int r = 0; r < rings; r++) {
        double latitude = -kPi / 2 + kPi * (r + 1) / (rings + 1);
        for (int j = 0; j < around; j++)
            addVertex(&mesh, at(latitude, 2 * kPi * j / around - kPi));
    }
    addVertex(&mesh, at(kPi / 2, 0.0));
    const uint32_t top = mesh.vertexCount() - 1;
    auto ring = [&](int r, int j) { return (uint32_t)(1 + r * around + (j % around)); };
    for (int j = 0; j < around; j++) {
        addTri(&mesh, 0, ring(0, j + 1), ring(0, j));
        addTri(&mesh, top, ring(rings - 1, j), ring(rings - 1, j + 1));
    }
    for (int r = 0; r + 1 < rings; r++) {
        for (int j = 0; j < around; j++) {
            addTri(&mesh, ring(r, j), ring(r, j + 1), ring(r + 1, j + 1));
            addTri(&mesh, ring(r, j), ring(r + 1, j + 1), ring(r + 1, j));
        }
    }
    orientOutward(&mesh);
    return mesh;
}

// ---------------------------------------------------------------------------
// The shapes
// ---------------------------------------------------------------------------

Mesh meshBlob()
{
    // Level 4: 2562 vertices, 5120 faces, fine enough for Gouraud shading to
    // hide the facets at the layer's size on a 320 x 240 frame.
    Mesh mesh = unitIcosphere(4);
    const Noise noise(0xB10B3u);
    const Vec3 lobes[3] = {normalize({0.9, 0.55, 0.2}), normalize({-0.7, 0.35, -0.6}), normalize({-0.1, -0.9, 0.45})};
    const double lobeSize[3] = {0.62, 0.55, 0.48};
    for (uint32_t i = 0; i < mesh.vertexCount(); i++) {
        Vec3 d = vertexAt(mesh, i);
        double r = 0.5;
        for (int k = 0; k < 3; k++)
            r += lobeSize[k] * std::exp(-4.0 * (1.0 - dot(d, lobes[k])));
        r += 0.07 * noise.fbm(d * 1.8 + Vec3{3.7, 1.3, 5.1}, 3);
        // Moving vertices only along their own direction keeps the surface
        // star-shaped about the centre: it cannot fold through itself.
        Vec3 p = d * r;
        mesh.xyz[3 * i] = (float)p.x;
        mesh.xyz[3 * i + 1] = (float)p.y;
        mesh.xyz[3 * i + 2] = (float)p.z;
    }
    return mesh;
}

Mesh meshGlow()
{
    Mesh mesh = unitIcosphere(4);
    const Mesh tips = unitIcosphere(1); // 42 spike directions, all vertices of the level-4 sphere
    MeshRng rng{0x61077u};
    std::vector<double> length(tips.vertexCount());
    for (double &l : length)
        l = rng.range(0.45, 0.65);
    for (uint32_t i = 0; i < mesh.vertexCount(); i++) {
        Vec3 d = vertexAt(mesh, i);
        double spike = 0;
        for (uint32_t k = 0; k < tips.vertexCount(); k++) {
            double c = std::max(0.0, dot(d, vertexAt(tips, k)));
            // cos^120 falls to half six degrees (one and a half edges) from
            // the tip and to almost nothing halfway to the next spike.
            spike = std::max(spike, length[k] * std::pow(c, 120.0));
        }
        Vec3 p = d * (0.38 + spike);
        // Turning each horizontal slice about the vertical axis by an angle
        // that grows with height curls the spikes like flames, and keeps
        // distinct points distinct.
        double angle = 1.3 * p.y, s = std::sin(angle), c = std::cos(angle);
        mesh.xyz[3 * i] = (float)(c * p.x + s * p.z);
        mesh.xyz[3 * i + 1] = (float)p.y;
        mesh.xyz[3 * i + 2] = (float)(c * p.z - s * p.x);
    }
    return mesh;
}

Mesh meshKnot()
{
    // A (2, 3) torus knot on a torus of radii 1.0 and 0.45 about the y axis.
    const int along = 240, around = 14;
    const double R = 1.0, r = 0.45, tube = 0.19, twists = 3;
    auto centre = [&](double t) {
        double radial = R + r * std::cos(3 * t);
        return Vec3{radial * std::cos(2 * t), r * std::sin(3 * t), radial * std::sin(2 * t)};
    };
    return closedTube(along, around, [&](int i, int j) {
        double s = (double)i / along, t = 2 * kPi * s;
        // Frame from the torus itself: its surface normal is square to the
        // knot's direction and comes back to itself after one loop, so the
        // tube closes without a seam.
        Vec3 normal = {std::cos(3 * t) * std::cos(2 * t), std::sin(3 * t), std::cos(3 * t) * std::sin(2 * t)};
        Vec3 tangent = normalize(centre(t + 1e-4) - centre(t - 1e-4));
        Vec3 binormal = normalize(cross(tangent, normal));
        // Four lobes, turning three times along the loop (whole turns, so the
        // last ring meets the first vertex for vertex).
        double a = 2 * kPi * j / around;
        double radius = tube * (1.0 + 0.35 * std::cos(4 * a));
        double b = a + 2 * kPi * twists * s;
        return centre(t) + normal * (radius * std::cos(b)) + binormal * (radius * std::sin(b));
    });
}

Mesh meshCube()
{
    Mesh mesh;
    for (int i = 0; i < 8; i++)
        addVertex(&mesh, {(i & 1) ? 1.0 : -1.0, (i & 2) ? 1.0 : -1.0, (i & 4) ? 1.0 : -1.0});
    // Each side as a quad (a, b, c, d) wound outward, split along a-c.
    const uint32_t sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto &q : sides) {
        addTri(&mesh, q[0], q[1], q[2]);
        addTri(&mesh, q[0], q[2], q[3]);
    }
    return mesh;
}

// The superformula: radius of a shape with m-fold symmetry at angle a.
static double superformula(double a, double m, double n1, double n2, double n3)
{
    double c = std::pow(std::fabs(std::cos(m * a / 4)), n2), s = std::pow(std::fabs(std::sin(m * a / 4)), n3);
    return std::pow(c + s, -1.0 / n1);
}

Mesh meshElude()
{
    // Seven blades around, their two flanks of unequal steepness, swept into
    // a spiral by turning each horizontal slice with its height (which keeps
    // the star-shaped surface free of self-intersections).
    return closedSphere(47, 64, [](double latitude, double longitude) {
        double r1 = superformula(longitude, 7, 0.7, 1.0, 5.0);
        double r2 = superformula(latitude, 5, 0.9, 1.0, 1.5);
        double k = 0.62 * r2 * std::cos(latitude);
        Vec3 p = {k * r1 * std::cos(longitude), 0.62 * r2 * std::sin(latitude), k * r1 * std::sin(longitude)};
        double angle = 1.0 * p.y, s = std::sin(angle), c = std::cos(angle);
        return Vec3{c * p.x + s * p.z, p.y, c * p.z - s * p.x};
    });
}

Mesh meshParticles()
{
    // A tower for the camera to circle and rise through: its height carries
    // the brightness waves of the particle effect.
    Mesh mesh;
    MeshRng rng{0x9A871C1Eu};
    const double height = 0.9;
    auto towerRadius = [](double y) { return 0.42 + 0.12 * std::sin(2.6 * y + 0.4); };
    // Three helical ribbons, 1400 points each.
    for (int strand = 0; strand < 3; strand++) {
        for (int i = 0; i < 1400; i++) {
            double y = -height + 2 * height * (i + rng.unit()) / 1400;
            double angle = 2 * kPi * strand / 3 + 5.0 * y + rng.range(-0.06, 0.06);
            double radius = towerRadius(y) + rng.range(-0.025, 0.025);
            addVertex(&mesh, {radius * std::cos(angle), y, radius * std::sin(angle)});
        }
    }
    // Twenty-two rings of 72 points, slightly wider than the ribbons.
    for (int ring = 0; ring < 22; ring++) {
        double y = -height + 2 * height * (ring + 0.5) / 22;
        double radius = towerRadius(y) + 0.12;
        for (int j = 0; j < 72; j++) {
            double angle = 2 * kPi * (j + 0.25 * rng.unit()) / 72;
            addVertex(&mesh, {radius * std::cos(angle), y + rng.range(-0.004, 0.004), radius * std::sin(angle)});
        }
    }
    // A core of dust, denser towards the axis.
    for (int i = 0; i < 1200; i++) {
        double y = rng.range(-height, height), angle = rng.range(0, 2 * kPi);
        double radius = 0.16 * rng.unit() * rng.unit();
        addVertex(&mesh, {radius * std::cos(angle), y, radius * std::sin(angle)});
    }
    return mesh;
}

// ---------------------------------------------------------------------------
// Geometry checks
// ---------------------------------------------------------------------------

double meshSignedVolume(const Mesh &mesh)
{
    double sum = 0;
    for (size_t i = 0; i + 2 < mesh.tris.size(); i += 3)
        sum += dot(vertexAt(mesh, mesh.tris[i]), cross(vertexAt(mesh, mesh.tris[i + 1]), vertexAt(mesh, mesh.tris[i + 2])));
    return sum;
}

bool meshIsClosed(const Mesh &mesh)
{
    if (mesh.tris.empty())
        return false;
    std::vector<uint64_t> edges;
    for (size_t i = 0; i < mesh.tris.size(); i += 3) {
        for (int k = 0; k < 3; k++) {
            uint32_t from = mesh.tris[i + k], to = mesh.tris[i + (k + 1) % 3];
            if (from == to)
                return false;
            edges.push_back((uint64_t)from << 32 | to);
        }
    }
    std::sort(edges.begin(), edges.end());
    if (std::adjacent_find(edges.begin(), edges.end()) != edges.end())
        return false; // an edge run the same way by two faces: flipped neighbours or a fin
    for (uint64_t e : edges) {
        uint64_t reverse = (e << 32) | (e >> 32);
        if (!std::binary_search(edges.begin(), edges.end(), reverse))
            return false; // a border
    }
    return true;
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

bool meshEncodeObject(const Mesh &mesh, std::string *out, std::string *error)
{
    std::vector<uint16_t> faces;
    faces.reserve(4 * (size_t)mesh.faceCount());
    for (size_t i = 0; i < mesh.tris.size(); i += 3) {
        for (int k = 0; k < 3; k++) {
            if (mesh.tris[i + k] >= mesh.vertexCount() || mesh.tris[i + k] > 0xFFFF) {
                *error = "face " + std::to_string(i / 3) + " refers to a vertex beyond the file's reach";
                return false;
            }
            faces.push_back((uint16_t)mesh.tris[i + k]);
        }
        faces.push_back(0); // surface 0
    }
    std::vector<uint8_t> bytes;
    if (!objEncode(mesh.xyz.data(), mesh.vertexCount(), faces.data(), mesh.faceCount(), 0, nullptr, nullptr, &bytes)) {
        *error = "mesh of " + std::to_string(mesh.vertexCount()) + " vertices cannot be encoded";
        return false;
    }
    out->assign(bytes.begin(), bytes.end());
    return true;
}

bool meshEncodeLwo2(const Mesh &mesh, std::string *out, std::string *error)
{
    Lwo2Object object;
    object.points = mesh.xyz;
    for (size_t i = 2; i < object.points.size(); i += 3)
        object.points[i] = -object.points[i];
    if (mesh.tris.empty()) {
        for (uint32_t v = 0; v < mesh.vertexCount(); v++)
            object.polygons.insert(object.polygons.end(), {1, v});
    } else {
        // The mirror turns every face the other way round; reversing its
        // corners keeps it clockwise seen from outside, as LightWave wants,
        // and Assimp's reversal then undoes ours along with the mirror.
        for (size_t i = 0; i < mesh.tris.size(); i += 3)
            object.polygons.insert(object.polygons.end(), {3, mesh.tris[i], mesh.tris[i + 2], mesh.tris[i + 1]});
    }
    out->clear();
    return lwo2Write(object, out, error);
}

bool meshObjectFiles(std::vector<MeshFile> *files, std::string *error)
{
    struct Entry {
        const char *name;
        Mesh (*make)();
        bool lightwave;
    } entries[] = {
        {"lwobj/blob3_mesh_hi.lobj", meshBlob, false}, {"lwobj/fx02_glow.lobj", meshGlow, false},
        {"lwobj/weird2.lobj", meshKnot, false},        {"lwobj/simplecube.lobj", meshCube, false},
        {"lwobj/elude.obj", meshElude, true},          {"lwobj/particle_test1.lwo", meshParticles, true},
    };
    files->clear();
    for (const Entry &entry : entries) {
        MeshFile file;
        file.name = entry.name;
        Mesh mesh = entry.make();
        bool ok = entry.lightwave ? meshEncodeLwo2(mesh, &file.bytes, error) : meshEncodeObject(mesh, &file.bytes, error);
        if (!ok) {
            *error = file.name + ": " + *error;
            return false;
        }
        files->push_back(std::move(file));
    }
    return true;
}

#include "MeshMath.h"

#include <algorithm>
#include <cmath>

#include "ShapeConversion.h"

namespace {

constexpr double kTinyDeterminant = 1e-12;

struct V3 {
    double x = 0, y = 0, z = 0;
};
V3 D(const Vector3& v) {
    return {v.x, v.y, v.z};
}
V3 operator+(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V3 operator-(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 operator*(V3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
double Dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
V3 Cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Length(V3 a) {
    return std::sqrt(Dot(a, a));
}
bool Finite(V3 a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}
Vector3 F(V3 a) {
    return {static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z)};
}

// a without its part along the unit vector n, made unit length; false when nothing is left
// (relative to what there was: sums of unit vectors that cancel leave rounding noise).
bool Orthonormal(V3 a, V3 n, V3& out) {
    if (!Finite(a)) return false;
    const double before = Length(a);
    a = a - n * Dot(a, n);
    const double length = Length(a);
    if (!(length > 1e-9) || !(length > 1e-6 * before)) return false;
    out = a * (1.0 / length);
    return true;
}

// a made unit length; false for a zero or non-finite vector.
bool Unit(V3 a, V3& out) {
    const double length = Length(a);
    if (!Finite(a) || !(length > 0) || !std::isfinite(length)) return false;
    out = a * (1.0 / length);
    return true;
}

// The frame of a vertex without usable UV directions: the second array along the first axis
// (x, or y for a normal close to x) made perpendicular to the normal and turned around, the
// first its cross product with the normal.
void FallbackFrame(V3 n, V3& first, V3& second) {
    const V3 axis = std::fabs(n.x) < 0.9 ? V3{-1, 0, 0} : V3{0, -1, 0};
    if (!Orthonormal(axis, n, second)) second = {0, -1, 0};
    first = Cross(second, n);
}

}  // namespace

std::vector<Triangle> TrianglesOf(const NiTriBasedGeomData& data) {
    if (const auto* shape = As<NiTriShapeData>(&data)) return shape->triangles;
    std::vector<Triangle> result;
    const auto* strips = As<NiTriStripsData>(&data);
    return strips ? StripsToTriangles(strips->points) : result;
}

void GenerateTangents(const std::vector<Vector3>& positions, const std::vector<Vector3>& normals,
                      const std::vector<TexCoord>& uvs, const std::vector<Triangle>& triangles,
                      std::vector<Vector3>& tangents, std::vector<Vector3>& bitangents) {
    const size_t n = positions.size();
    const size_t mapped = std::min(n, uvs.size());
    // Per vertex, the sums of the unit directions in which U and V grow over its triangles:
    // every triangle counts the same, whatever its size or its angle at the vertex.
    std::vector<V3> alongU(n), alongV(n);
    std::vector<uint8_t> hasU(n, 0), hasV(n, 0);
    for (const Triangle& t : triangles) {
        const uint16_t i[3] = {t.v1, t.v2, t.v3};
        if (i[0] >= mapped || i[1] >= mapped || i[2] >= mapped) continue;
        const V3 e1 = D(positions[i[1]]) - D(positions[i[0]]);
        const V3 e2 = D(positions[i[2]]) - D(positions[i[0]]);
        const double u1 = double{uvs[i[1]].u} - uvs[i[0]].u, v1 = double{uvs[i[1]].v} - uvs[i[0]].v;
        const double u2 = double{uvs[i[2]].u} - uvs[i[0]].u, v2 = double{uvs[i[2]].v} - uvs[i[0]].v;
        // The derivatives along U and V are these over the UV determinant; only their
        // directions count, so a triangle whose UVs lie on one line (determinant 0) still
        // gives the directions of the numerators.
        const double det = u1 * v2 - u2 * v1;
        const double sign = det < -kTinyDeterminant ? -1.0 : 1.0;
        V3 du, dv;
        const bool u = Unit((e1 * v2 - e2 * v1) * sign, du);
        const bool v = Unit((e2 * u1 - e1 * u2) * sign, dv);
        for (uint16_t k : i) {
            if (u) alongU[k] = alongU[k] + du;
            if (v) alongV[k] = alongV[k] + dv;
            hasU[k] |= u ? 1 : 0;
            hasV[k] |= v ? 1 : 0;
        }
    }
    tangents.assign(n, Vector3{});
    bitangents.assign(n, Vector3{});
    for (size_t k = 0; k < n; ++k) {
        V3 normal{0, 0, 1};
        if (k < normals.size()) Orthonormal(D(normals[k]), V3{}, normal);
        // The first array follows V and the second U, each with its own sign: across a
        // mirrored UV island the frame's handedness flips with the mapping's. The first is
        // made perpendicular to the normal, the second to the normal and then to the first.
        // Where one direction cancels out (a vertex on a mirror line) the other gives the
        // frame, with the handedness of an unmirrored mapping; a vertex that no triangle
        // gives both directions gets the fallback frame whole.
        V3 first, second, u;
        const bool reached = hasU[k] && hasV[k];
        const bool alongFirst = reached && Orthonormal(alongV[k], normal, first);
        const bool alongSecond = reached && Orthonormal(alongU[k], normal, u);
        if (alongFirst && alongSecond && Orthonormal(u, first, second)) {
        } else if (alongFirst) {
            second = Cross(first, normal);
        } else if (alongSecond) {
            second = u;
            first = Cross(normal, second);
        } else {
            FallbackFrame(normal, first, second);
        }
        tangents[k] = F(first);
        bitangents[k] = F(second);
    }
}

NiBound BoundOf(const std::vector<Vector3>& points) {
    NiBound bound;
    if (points.empty()) return bound;
    V3 low = D(points[0]), high = low;
    for (const Vector3& p : points) {
        low = {std::min<double>(low.x, p.x), std::min<double>(low.y, p.y),
               std::min<double>(low.z, p.z)};
        high = {std::max<double>(high.x, p.x), std::max<double>(high.y, p.y),
                std::max<double>(high.z, p.z)};
    }
    const V3 center = (low + high) * 0.5;
    bound.center = F(center);
    double radius = 0;
    for (const Vector3& p : points) radius = std::max(radius, Length(D(p) - D(bound.center)));
    // Rounded up, so that the float radius still reaches the farthest point.
    float r = static_cast<float>(radius);
    while (static_cast<double>(r) < radius) r = std::nextafter(r, INFINITY);
    bound.radius = r;
    return bound;
}

bool BoundHolds(const NiBound& bound, const std::vector<Vector3>& points) {
    const double slack = 1e-4 * std::max(1.0, std::fabs(double{bound.radius}));
    for (const Vector3& p : points) {
        if (!(Length(D(p) - D(bound.center)) <= double{bound.radius} + slack)) return false;
    }
    return true;
}

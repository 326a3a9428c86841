#include "MeshMath.h"

#include <algorithm>
#include <cmath>

#include "ShapeConversion.h"

namespace {

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

constexpr double kTiny = 1e-12;

// a without its part along the unit vector n, made unit length; false when nothing is left.
bool Orthonormal(V3 a, V3 n, V3& out) {
    if (!Finite(a)) return false;
    a = a - n * Dot(a, n);
    const double length = Length(a);
    if (!(length > 1e-9)) return false;
    out = a * (1.0 / length);
    return true;
}

// Some unit vector at right angles to the unit vector n.
V3 Perpendicular(V3 n) {
    const V3 axis = std::fabs(n.x) < 0.9 ? V3{1, 0, 0} : V3{0, 1, 0};
    V3 out{1, 0, 0};
    Orthonormal(axis, n, out);
    return out;
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
    std::vector<V3> alongU(n), alongV(n);
    for (const Triangle& t : triangles) {
        const uint16_t i[3] = {t.v1, t.v2, t.v3};
        if (i[0] >= n || i[1] >= n || i[2] >= n || i[0] >= uvs.size() || i[1] >= uvs.size() ||
            i[2] >= uvs.size())
            continue;
        const V3 e1 = D(positions[i[1]]) - D(positions[i[0]]);
        const V3 e2 = D(positions[i[2]]) - D(positions[i[0]]);
        const double u1 = double{uvs[i[1]].u} - uvs[i[0]].u, v1 = double{uvs[i[1]].v} - uvs[i[0]].v;
        const double u2 = double{uvs[i[2]].u} - uvs[i[0]].u, v2 = double{uvs[i[2]].v} - uvs[i[0]].v;
        const double det = u1 * v2 - u2 * v1;
        if (!(std::fabs(det) > kTiny) || !(Length(Cross(e1, e2)) > kTiny)) continue;
        // The surface's derivatives along U and along V.
        const V3 du = (e1 * v2 - e2 * v1) * (1.0 / det);
        const V3 dv = (e2 * u1 - e1 * u2) * (1.0 / det);
        if (!Finite(du) || !Finite(dv)) continue;
        for (uint16_t k : i) {
            alongU[k] = alongU[k] + du;
            alongV[k] = alongV[k] + dv;
        }
    }
    tangents.assign(n, Vector3{});
    bitangents.assign(n, Vector3{});
    for (size_t k = 0; k < n; ++k) {
        V3 normal{0, 0, 1};
        if (k < normals.size()) Orthonormal(D(normals[k]), V3{}, normal);
        // The first array follows V; where V's directions cancelled out (a mirrored seam) or
        // no triangle reached the vertex, U's direction stands in. The second completes the
        // frame: normal x first.
        V3 first, u;
        if (!Orthonormal(alongV[k], normal, first)) {
            first = Orthonormal(alongU[k], normal, u) ? Cross(u, normal) : Perpendicular(normal);
        }
        tangents[k] = F(first);
        bitangents[k] = F(Cross(normal, first));
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

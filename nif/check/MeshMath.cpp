#include "MeshMath.h"

#include <algorithm>
#include <cmath>

#include "ShapeConversion.h"

namespace {

// A UV triangle whose corner angle has a sine below this is taken for a line.
constexpr double kFlatUV = 1e-6;

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

// a without its part along the unit vector n, made unit length; false when nothing is left,
// relative to what there was (sums that cancel out leave rounding noise; a mesh's scale does
// not matter).
bool Orthonormal(V3 a, V3 n, V3& out) {
    if (!Finite(a)) return false;
    const double before = Length(a);
    a = a - n * Dot(a, n);
    const double length = Length(a);
    if (!(length > 0) || !(length > 1e-6 * before)) return false;
    out = a * (1.0 / length);
    return true;
}

// The frame of a vertex without usable UV directions: that of an image mapped along the axes
// as it is seen from the normal's side, U along x (along y for a normal close to x) made
// perpendicular to the normal, V running down the image.
void FallbackFrame(V3 n, V3& first, V3& second) {
    const V3 axis = std::fabs(n.x) < 0.9 ? V3{1, 0, 0} : V3{0, 1, 0};
    if (!Orthonormal(axis, n, second)) second = {0, 1, 0};
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
    // Per vertex, the sums of the surface's derivatives along U and along V over its
    // triangles, as they are: a triangle whose UVs are squeezed counts for more.
    std::vector<V3> alongU(n), alongV(n);
    for (const Triangle& t : triangles) {
        const uint16_t i[3] = {t.v1, t.v2, t.v3};
        if (i[0] >= mapped || i[1] >= mapped || i[2] >= mapped) continue;
        const V3 e1 = D(positions[i[1]]) - D(positions[i[0]]);
        const V3 e2 = D(positions[i[2]]) - D(positions[i[0]]);
        const double u1 = double{uvs[i[1]].u} - uvs[i[0]].u, v1 = double{uvs[i[1]].v} - uvs[i[0]].v;
        const double u2 = double{uvs[i[2]].u} - uvs[i[0]].u, v2 = double{uvs[i[2]].v} - uvs[i[0]].v;
        // UVs on a line (down to rounding) give the triangle no derivatives.
        const double det = u1 * v2 - u2 * v1;
        if (!(std::fabs(det) > kFlatUV * std::hypot(u1, v1) * std::hypot(u2, v2))) continue;
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
        // The second array follows U, made perpendicular to the normal; the first follows V,
        // made perpendicular to the normal and to the second. Each keeps its own sign, so
        // across a mirrored UV island the frame's handedness flips with the mapping's. Where
        // one direction cancels out (a vertex on a mirror line) the other gives the frame,
        // with the handedness of an image mapped unmirrored; a vertex with neither gets the
        // fallback frame.
        V3 first, second, v;
        const bool alongSecond = Orthonormal(alongU[k], normal, second);
        const bool alongFirst = Orthonormal(alongV[k], normal, v);
        if (alongSecond && alongFirst && Orthonormal(v, second, first)) {
        } else if (alongSecond) {
            first = Cross(second, normal);
        } else if (alongFirst) {
            first = v;
            second = Cross(normal, first);
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
